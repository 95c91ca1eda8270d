// The header a spooler passes to a configuration file's DrvDocumentPropertySheets as lParam
// when pPSUIInfo is NULL; the MinGW headers lack it.
#pragma once

#include <windows.h>

typedef struct _DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn;
  PDEVMODEW pdmOut;
  DWORD cbOut;
  DWORD fMode;
} DOCUMENTPROPERTYHEADER, *PDOCUMENTPROPERTYHEADER;
