// Stand-in UNIDRVUI.DLL: the printer-interface entry points a spooler calls, with fixed answers.
// It holds no driver user interface. It answers what a queue needs when it is created (the size
// and defaults of its DEVMODEW, the KV-80C's one paper and resolution) and refuses any request
// for a dialog. It links without a C runtime, so it copies and zeroes with its own loops.
#include <windows.h>
#include <winddiui.h>

#include "document_property_header.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap, PVOID pvOutput,
                                   PDEVMODEW pdm);

// The one paper: the 80 mm roll, cut at the model's default page length; tenths of a millimetre.
#define ROLL_WIDTH 800
#define ROLL_LENGTH 2970
// Lengths a caller may ask for: one inch up to the longest page the roll gives.
#define ROLL_LENGTH_MIN 254
#define ROLL_LENGTH_MAX 32760
#define ROLL_DPI 203
#define PAPER_NAME_CHARS 64
#define STANDIN_DRIVER_VERSION 0x0400
#define STANDIN_FIELDS                                                                            \
  (DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_PRINTQUALITY | \
   DM_YRESOLUTION)
// The defaults name the roll by its width and length alone: DEVMODE's documentation lets
// dmPaperSize be zero when both give the size. Wine's PostScript driver, which reads this
// driver's GPD as a PPD and finds no paper in it, sizes the page from them then; given a paper
// number it looks it up in that empty list and lays the page out 0 by 0 (wineps.drv, init.c
// PSDRV_UpdateDevCaps).
#define DEFAULT_FIELDS (STANDIN_FIELDS & ~DM_PAPERSIZE)

// The driver's private part of its DEVMODEW. Wine's PostScript driver takes a printer's
// defaults only when they are at least as long as its own DEVMODEW (wineps.drv, init.c
// get_devmode: 8 bytes beyond the public part), and reads the second DWORD as its count of
// installed options, so that one stays zero.
typedef struct {
  DWORD signature;
  DWORD reserved;
} STANDIN_PRIVATE;
#define STANDIN_SIGNATURE 0x4B563830u  // "KV80"

typedef struct {
  DEVMODEW dm;
  STANDIN_PRIVATE extra;
} STANDIN_DEVMODE;
_Static_assert(sizeof(STANDIN_DEVMODE) == sizeof(DEVMODEW) + sizeof(STANDIN_PRIVATE),
               "the private part follows the public one without a gap");

static const WCHAR kPaperName[] = L"80 mm roll";
_Static_assert(sizeof(kPaperName) <= PAPER_NAME_CHARS * sizeof(WCHAR), "paper name too long");

// Whether a caller's DEVMODEW of dmSize bytes holds the whole of a field.
#define HOLDS(dm, field) \
  ((dm)->dmSize >= FIELD_OFFSET(DEVMODEW, field) + sizeof(((DEVMODEW*)0)->field))

// Plain loops: the build forbids turning them into memset or memcpy, which nothing provides.
static void ZeroBytes(void* to, SIZE_T count) {
  BYTE* p = (BYTE*)to;
  while (count--) *p++ = 0;
}

static void CopyBytes(void* to, const void* from, SIZE_T count) {
  BYTE* d = (BYTE*)to;
  const BYTE* s = (const BYTE*)from;
  while (count--) *d++ = *s++;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

static void WriteDefaults(STANDIN_DEVMODE* full, LPCWSTR printerName) {
  ZeroBytes(full, sizeof(*full));
  full->extra.signature = STANDIN_SIGNATURE;
  PDEVMODEW dm = &full->dm;
  if (printerName) {
    for (int i = 0; i < CCHDEVICENAME - 1 && printerName[i]; ++i) {
      dm->dmDeviceName[i] = printerName[i];
    }
  }
  dm->dmSpecVersion = DM_SPECVERSION;
  dm->dmDriverVersion = STANDIN_DRIVER_VERSION;
  dm->dmSize = sizeof(*dm);
  dm->dmDriverExtra = sizeof(STANDIN_PRIVATE);
  dm->dmFields = DEFAULT_FIELDS;
  dm->dmOrientation = DMORIENT_PORTRAIT;
  dm->dmPaperWidth = ROLL_WIDTH;
  dm->dmPaperLength = ROLL_LENGTH;
  dm->dmCopies = 1;
  dm->dmPrintQuality = ROLL_DPI;
  dm->dmYResolution = ROLL_DPI;
}

// Takes from a caller's DEVMODEW what this printer can do; anything else keeps its default, as
// the device has one paper, one orientation, one resolution and makes one copy at a time.
static void MergeInput(PDEVMODEW dm, const DEVMODEW* in) {
  if (in->dmSize < FIELD_OFFSET(DEVMODEW, dmFields) + sizeof(in->dmFields)) return;
  const DWORD fields = in->dmFields;
  if ((fields & DM_PAPERLENGTH) && HOLDS(in, dmPaperLength) &&
      in->dmPaperLength >= ROLL_LENGTH_MIN && in->dmPaperLength <= ROLL_LENGTH_MAX) {
    dm->dmPaperLength = in->dmPaperLength;
  }
}

LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  if (pPSUIInfo) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  PDOCUMENTPROPERTYHEADER header = (PDOCUMENTPROPERTYHEADER)lParam;
  if (!header || header->cbSize < sizeof(*header)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  const DWORD mode = header->fMode;
  if (mode & DM_IN_PROMPT) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  if (mode == 0 || !header->pdmOut) {
    header->cbOut = sizeof(STANDIN_DEVMODE);
    return sizeof(STANDIN_DEVMODE);
  }
  // The stand-in keeps no settings, so it cannot make them the printer's defaults.
  if (mode & DM_OUT_DEFAULT) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  if (!(mode & DM_OUT_BUFFER)) return IDOK;
  if (header->cbOut < sizeof(STANDIN_DEVMODE)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  // Built aside first: pdmIn may be the same buffer as pdmOut.
  STANDIN_DEVMODE result;
  WriteDefaults(&result, header->pszPrinterName);
  if ((mode & DM_IN_BUFFER) && header->pdmIn) MergeInput(&result.dm, header->pdmIn);
  CopyBytes(header->pdmOut, &result, sizeof(result));
  return IDOK;
}

LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  (void)pPSUIInfo;
  (void)lParam;
  SetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags, LPARAM lParam) {
  (void)pPrinterName;
  (void)DriverEvent;
  (void)Flags;
  (void)lParam;
  return TRUE;
}

DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap, PVOID pvOutput,
                                   PDEVMODEW pdm) {
  (void)hPrinter;
  (void)pDeviceName;
  (void)pdm;
  switch (iDevCap) {
    case DC_FIELDS:
      return STANDIN_FIELDS;
    case DC_PAPERS:
      if (pvOutput) *(WORD*)pvOutput = DMPAPER_USER;
      return 1;
    case DC_PAPERSIZE:
      if (pvOutput) {
        POINT* size = (POINT*)pvOutput;
        size->x = ROLL_WIDTH;
        size->y = ROLL_LENGTH;
      }
      return 1;
    case DC_PAPERNAMES:
      if (pvOutput) {
        ZeroBytes(pvOutput, PAPER_NAME_CHARS * sizeof(WCHAR));
        CopyBytes(pvOutput, kPaperName, sizeof(kPaperName));
      }
      return 1;
    case DC_ENUMRESOLUTIONS:
      if (pvOutput) {
        LONG* dpi = (LONG*)pvOutput;
        dpi[0] = ROLL_DPI;
        dpi[1] = ROLL_DPI;
      }
      return 1;
    case DC_SIZE:
      return sizeof(DEVMODEW);
    case DC_EXTRA:
      return sizeof(STANDIN_PRIVATE);
    case DC_VERSION:
      return DM_SPECVERSION;
    case DC_DRIVER:
      return STANDIN_DRIVER_VERSION;
    case DC_COPIES:
      return 1;
    case DC_ORIENTATION:  // 0: no landscape
    case DC_COLORDEVICE:
    case DC_DUPLEX:
    case DC_BINS:
      return 0;
    default:
      SetLastError(ERROR_NOT_SUPPORTED);
      return GDI_ERROR;
  }
}
