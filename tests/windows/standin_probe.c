// Probe of the stand-in UNIDRVUI.DLL and UNIDRV.DLL: calls them as a spooler does and checks
// each answer.
// Usage: standin_probe PATH\UNIDRVUI.DLL [PATH\UNIDRV.DLL]   (DLLs of the probe's architecture)
// Prints one line per check and exits 1 on any mismatch, 2 when a DLL cannot be used.
#include <windows.h>
#include <winddiui.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "document_property_header.h"

typedef LONG(WINAPI* DocumentPropertySheetsFn)(PPROPSHEETUI_INFO, LPARAM);
typedef DWORD(WINAPI* DeviceCapabilitiesFn)(HANDLE, PWSTR, WORD, PVOID, PDEVMODEW);
typedef BOOL(WINAPI* QueryDriverInfoFn)(DWORD, PVOID, DWORD, PDWORD);

// winddi.h, which defines it, does not compile with MinGW's headers.
#define DRVQUERY_USERMODE 0x00000001

#define ROLL_WIDTH 800
#define ROLL_LENGTH 2970
#define ROLL_DPI 203
#define GUARD 0xA5
#define SLACK 64
// The defaults give the roll by width and length, without a paper number.
#define EXPECTED_FIELDS \
  (DM_ORIENTATION | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_PRINTQUALITY | DM_YRESOLUTION)
// The driver's private part: a signature and a DWORD that Wine's PostScript driver reads as a
// count of its options, which must be zero.
#define PRIVATE_BYTES 8
#define FULL_SIZE (sizeof(DEVMODEW) + PRIVATE_BYTES)
#define SIGNATURE 0x4B563830u

// A whole DEVMODEW with the driver's private part.
typedef struct {
  DEVMODEW dm;
  DWORD extra[PRIVATE_BYTES / sizeof(DWORD)];
} FULL_DEVMODE;

// 39 characters: the DEVMODEW keeps the first 31 and a NUL.
static WCHAR kLongName[] = L"Korvex KV-80C receipt printer (copy 12)";
static WCHAR kShortName[] = L"KV-80C";

static DocumentPropertySheetsFn documentProperties;
static DeviceCapabilitiesFn deviceCapabilities;
static QueryDriverInfoFn queryDriverInfo;
static int failures;
static const char* running = "loading";

// A fault inside the DLL (a read past a caller's buffer, say) fails the check that made it.
static LONG WINAPI Faulted(EXCEPTION_POINTERS* exception) {
  printf("FAIL %s: exception 0x%lx at %p\n", running,
         (unsigned long)exception->ExceptionRecord->ExceptionCode,
         exception->ExceptionRecord->ExceptionAddress);
  fflush(stdout);
  ExitProcess(1);
}

static void Report(BOOL ok, const char* what, const char* format, ...) {
  va_list args;
  va_start(args, format);
  printf("%s %s: ", ok ? "ok  " : "FAIL", what);
  vprintf(format, args);
  printf("\n");
  va_end(args);
  if (!ok) ++failures;
}

static BOOL AllBytes(const void* data, size_t count, BYTE value) {
  const BYTE* p = (const BYTE*)data;
  for (size_t i = 0; i < count; ++i) {
    if (p[i] != value) return FALSE;
  }
  return TRUE;
}

static DOCUMENTPROPERTYHEADER Header(LPWSTR name, PDEVMODEW in, PDEVMODEW out, DWORD cbOut,
                                     DWORD mode) {
  DOCUMENTPROPERTYHEADER header;
  memset(&header, 0, sizeof(header));
  header.cbSize = sizeof(header);
  header.pszPrinterName = name;
  header.pdmIn = in;
  header.pdmOut = out;
  header.cbOut = cbOut;
  header.fMode = mode;
  return header;
}

static LONG CallDocument(DOCUMENTPROPERTYHEADER* header, DWORD* error) {
  SetLastError(0);
  const LONG result = documentProperties(NULL, (LPARAM)header);
  *error = GetLastError();
  return result;
}

static void CheckSizeQuery(void) {
  DOCUMENTPROPERTYHEADER header = Header(kLongName, NULL, NULL, 0, 0);
  DWORD error;
  const LONG size = CallDocument(&header, &error);
  Report(size == (LONG)FULL_SIZE && header.cbOut == FULL_SIZE, "size query",
         "returned %ld, cbOut %lu, want %u", size, (unsigned long)header.cbOut,
         (unsigned)FULL_SIZE);
}

// The defaults, written into a buffer longer than asked for whose tail must stay untouched.
static void CheckDefaults(void) {
  BYTE buffer[FULL_SIZE + SLACK];
  memset(buffer, GUARD, sizeof(buffer));
  DEVMODEW* dm = (DEVMODEW*)buffer;
  DWORD extra[PRIVATE_BYTES / sizeof(DWORD)];
  DOCUMENTPROPERTYHEADER header = Header(kLongName, NULL, dm, FULL_SIZE, DM_OUT_BUFFER);
  DWORD error;
  const LONG result = CallDocument(&header, &error);
  WCHAR name[CCHDEVICENAME];
  memcpy(name, kLongName, sizeof(name));
  name[CCHDEVICENAME - 1] = 0;
  memcpy(extra, buffer + sizeof(DEVMODEW), sizeof(extra));
  const BOOL ok =
      result == IDOK && dm->dmSize == sizeof(DEVMODEW) && dm->dmSpecVersion == DM_SPECVERSION &&
      dm->dmDriverExtra == PRIVATE_BYTES && extra[0] == SIGNATURE && extra[1] == 0 &&
      dm->dmFields == EXPECTED_FIELDS && dm->dmOrientation == DMORIENT_PORTRAIT &&
      dm->dmPaperSize == 0 && dm->dmPaperWidth == ROLL_WIDTH && dm->dmPaperLength == ROLL_LENGTH &&
      dm->dmCopies == 1 && dm->dmPrintQuality == ROLL_DPI && dm->dmYResolution == ROLL_DPI &&
      memcmp(dm->dmDeviceName, name, sizeof(name)) == 0 &&
      AllBytes(dm->dmFormName, sizeof(dm->dmFormName), 0) &&
      AllBytes(buffer + FULL_SIZE, SLACK, GUARD);
  Report(ok, "defaults",
         "returned %ld, dmSize %u, spec 0x%x, extra %u (0x%lx, %lu), fields 0x%lx, orientation %d, "
         "paper %d %d x %d, copies %d, %d x %d dpi, name \"%ls\", tail %s",
         result, dm->dmSize, dm->dmSpecVersion, dm->dmDriverExtra, (unsigned long)extra[0],
         (unsigned long)extra[1], (unsigned long)dm->dmFields, dm->dmOrientation, dm->dmPaperSize,
         dm->dmPaperWidth, dm->dmPaperLength, dm->dmCopies, dm->dmPrintQuality, dm->dmYResolution,
         dm->dmDeviceName, AllBytes(buffer + FULL_SIZE, SLACK, GUARD) ? "untouched" : "written");
}

// A caller's settings in the same buffer as the answer: the length is taken, landscape is not.
static void CheckMerge(void) {
  FULL_DEVMODE full;
  DEVMODEW* dm = &full.dm;
  memset(&full, 0, sizeof(full));
  DOCUMENTPROPERTYHEADER header = Header(kShortName, NULL, dm, sizeof(full), DM_OUT_BUFFER);
  DWORD error;
  CallDocument(&header, &error);
  dm->dmPaperLength = 1500;
  dm->dmOrientation = DMORIENT_LANDSCAPE;
  header = Header(kShortName, dm, dm, sizeof(full), DM_IN_BUFFER | DM_OUT_BUFFER);
  const LONG result = CallDocument(&header, &error);
  const BOOL ok = result == IDOK && dm->dmPaperLength == 1500 &&
                  dm->dmOrientation == DMORIENT_PORTRAIT && dm->dmPaperWidth == ROLL_WIDTH &&
                  wcscmp(dm->dmDeviceName, kShortName) == 0;
  Report(ok, "merged input", "returned %ld, length %d, orientation %d, width %d, name \"%ls\"",
         result, dm->dmPaperLength, dm->dmOrientation, dm->dmPaperWidth, dm->dmDeviceName);
}

// An input DEVMODEW that ends before dmPaperLength, right against a page that cannot be read:
// its length flag must be ignored, and reading past its dmSize would fault.
static void CheckShortInput(void) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const DWORD page = system.dwPageSize;
  BYTE* pages = (BYTE*)VirtualAlloc(NULL, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  DWORD old;
  if (!pages || !VirtualProtect(pages + page, page, PAGE_NOACCESS, &old)) {
    Report(FALSE, "short input", "cannot set up a guard page (error %lu)", GetLastError());
    if (pages) VirtualFree(pages, 0, MEM_RELEASE);
    return;
  }
  const WORD size = (WORD)offsetof(DEVMODEW, dmPaperLength);
  DEVMODEW* in = (DEVMODEW*)(pages + page - size);
  memset(in, 0, size);
  in->dmSpecVersion = DM_SPECVERSION;
  in->dmSize = size;
  in->dmFields = DM_PAPERLENGTH | DM_ORIENTATION;
  in->dmOrientation = DMORIENT_PORTRAIT;
  FULL_DEVMODE out;
  memset(&out, 0, sizeof(out));
  DOCUMENTPROPERTYHEADER header =
      Header(kShortName, in, &out.dm, sizeof(out), DM_IN_BUFFER | DM_OUT_BUFFER);
  DWORD error;
  const LONG result = CallDocument(&header, &error);
  Report(result == IDOK && out.dm.dmPaperLength == ROLL_LENGTH, "short input",
         "dmSize %u: returned %ld, length %d", size, result, out.dm.dmPaperLength);
  VirtualFree(pages, 0, MEM_RELEASE);
}

static void CheckRefusals(void) {
  BYTE buffer[FULL_SIZE];
  DWORD error;

  // Room for the public part alone is too short as well.
  memset(buffer, GUARD, sizeof(buffer));
  DOCUMENTPROPERTYHEADER header =
      Header(kLongName, NULL, (DEVMODEW*)buffer, FULL_SIZE - 1, DM_OUT_BUFFER);
  LONG result = CallDocument(&header, &error);
  Report(
      result == -1 && error == ERROR_INSUFFICIENT_BUFFER && AllBytes(buffer, sizeof(buffer), GUARD),
      "short buffer", "cbOut %u: returned %ld, error %lu, buffer %s", (unsigned)FULL_SIZE - 1,
      result, error, AllBytes(buffer, sizeof(buffer), GUARD) ? "untouched" : "written");

  memset(buffer, GUARD, sizeof(buffer));
  header = Header(kLongName, NULL, (DEVMODEW*)buffer, FULL_SIZE, DM_IN_PROMPT | DM_OUT_BUFFER);
  result = CallDocument(&header, &error);
  Report(result == -1 && error == ERROR_NOT_SUPPORTED && AllBytes(buffer, sizeof(buffer), GUARD),
         "dialog request", "DM_IN_PROMPT: returned %ld, error %lu", result, error);

  PROPSHEETUI_INFO info;
  memset(&info, 0, sizeof(info));
  info.cbSize = sizeof(info);
  info.lParamInit = (LPARAM)&header;
  SetLastError(0);
  result = documentProperties(&info, 0);
  error = GetLastError();
  Report(result == -1, "property sheet", "returned %ld, error %lu", result, error);

  SetLastError(0);
  result = documentProperties(NULL, 0);
  error = GetLastError();
  Report(result == -1 && error == ERROR_INVALID_PARAMETER, "no header", "returned %ld, error %lu",
         result, error);
}

static DWORD Capability(WORD capability, void* output) {
  return deviceCapabilities(NULL, kLongName, capability, output, NULL);
}

// Each answer is written into a longer array whose second entry must stay as it was.
static void CheckCapabilities(void) {
  POINT sizes[2] = {{-1, -1}, {-1, -1}};
  const DWORD paperCount = Capability(DC_PAPERSIZE, NULL);
  const DWORD paperWritten = Capability(DC_PAPERSIZE, sizes);
  Report(paperCount == 1 && paperWritten == 1 && sizes[0].x == ROLL_WIDTH &&
             sizes[0].y == ROLL_LENGTH && sizes[1].x == -1 && sizes[1].y == -1,
         "DC_PAPERSIZE", "count %lu, %ld x %ld tenths of a millimetre", paperCount, sizes[0].x,
         sizes[0].y);

  LONG dpi[4] = {-1, -1, -1, -1};
  const DWORD dpiCount = Capability(DC_ENUMRESOLUTIONS, NULL);
  const DWORD dpiWritten = Capability(DC_ENUMRESOLUTIONS, dpi);
  Report(dpiCount == 1 && dpiWritten == 1 && dpi[0] == ROLL_DPI && dpi[1] == ROLL_DPI &&
             dpi[2] == -1 && dpi[3] == -1,
         "DC_ENUMRESOLUTIONS", "count %lu, %ld x %ld dpi", dpiCount, dpi[0], dpi[1]);

  SetLastError(0);
  const DWORD unknown = Capability(DC_MEDIATYPES, NULL);
  const DWORD error = GetLastError();
  Report(unknown == GDI_ERROR && error == ERROR_NOT_SUPPORTED, "DC_MEDIATYPES",
         "returned 0x%lx, error %lu", unknown, error);
}

// The local print provider asks the graphics DLL whether it runs in user mode, one DWORD
// (DrvQueryDriverInfo, winddi.h); the stand-in truthfully says TRUE, and refuses a buffer too
// short for it, untouched, and any other mode.
static void CheckUserMode(void) {
  DWORD answer = 0xA5A5A5A5, needed = 0;
  SetLastError(0);
  BOOL ok = queryDriverInfo(DRVQUERY_USERMODE, &answer, sizeof(answer), &needed);
  Report(ok && answer == TRUE && needed == sizeof(DWORD), "user mode",
         "returned %d, answer %lu, needed %lu", ok, (unsigned long)answer, (unsigned long)needed);

  BYTE shortBuffer[sizeof(DWORD)];
  memset(shortBuffer, GUARD, sizeof(shortBuffer));
  needed = 0;
  SetLastError(0);
  ok = queryDriverInfo(DRVQUERY_USERMODE, shortBuffer, sizeof(DWORD) - 1, &needed);
  DWORD error = GetLastError();
  Report(!ok && error == ERROR_INSUFFICIENT_BUFFER && needed == sizeof(DWORD) &&
             AllBytes(shortBuffer, sizeof(shortBuffer), GUARD),
         "user mode, short buffer", "returned %d, error %lu, needed %lu", ok, error,
         (unsigned long)needed);

  answer = 0xA5A5A5A5;
  SetLastError(0);
  ok = queryDriverInfo(DRVQUERY_USERMODE + 1, &answer, sizeof(answer), &needed);
  error = GetLastError();
  Report(!ok && error == ERROR_INVALID_PARAMETER && answer == 0xA5A5A5A5, "unknown mode",
         "returned %d, error %lu", ok, error);
}

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: standin_probe PATH\\UNIDRVUI.DLL [PATH\\UNIDRV.DLL]\n");
    return 2;
  }
  HMODULE dll = LoadLibraryA(argv[1]);
  if (!dll) {
    fprintf(stderr, "standin_probe: cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  documentProperties =
      (DocumentPropertySheetsFn)(void (*)(void))GetProcAddress(dll, "DrvDocumentPropertySheets");
  deviceCapabilities =
      (DeviceCapabilitiesFn)(void (*)(void))GetProcAddress(dll, "DrvDeviceCapabilities");
  if (!documentProperties || !deviceCapabilities) {
    fprintf(stderr, "standin_probe: %s lacks DrvDocumentPropertySheets or DrvDeviceCapabilities\n",
            argv[1]);
    FreeLibrary(dll);
    return 2;
  }
  SetUnhandledExceptionFilter(Faulted);
  static const struct {
    const char* name;
    void (*run)(void);
  } kChecks[] = {{"size query", CheckSizeQuery}, {"defaults", CheckDefaults},
                 {"merged input", CheckMerge},   {"short input", CheckShortInput},
                 {"refusals", CheckRefusals},    {"capabilities", CheckCapabilities}};
  for (size_t i = 0; i < sizeof(kChecks) / sizeof(kChecks[0]); ++i) {
    running = kChecks[i].name;
    kChecks[i].run();
  }
  FreeLibrary(dll);
  if (argc == 3) {
    running = "loading UNIDRV.DLL";
    HMODULE core = LoadLibraryA(argv[2]);
    if (!core) {
      fprintf(stderr, "standin_probe: cannot load %s (error %lu)\n", argv[2], GetLastError());
      return 2;
    }
    queryDriverInfo = (QueryDriverInfoFn)(void (*)(void))GetProcAddress(core, "DrvQueryDriverInfo");
    if (!queryDriverInfo) {
      fprintf(stderr, "standin_probe: %s lacks DrvQueryDriverInfo\n", argv[2]);
      FreeLibrary(core);
      return 2;
    }
    running = "user mode";
    CheckUserMode();
    FreeLibrary(core);
  }
  printf("%s: %d check(s) failed\n", failures ? "FAIL" : "ok", failures);
  return failures ? 1 : 0;
}
