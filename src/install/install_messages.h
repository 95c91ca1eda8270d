// InstallMessages: the installer's eleven localised texts, chosen for a language identifier.
#pragma once

#include "platform/win32.h"

// The one language identifier that selects the Chinese texts.
constexpr DWORD kChineseSimplified = 2052;

struct InstallMessages {
  const char* selectSeries;
  const char* malfunction;
  const char* malfunctionRunAsAdmin;
  const char* installFailed;
  const char* succeedExit;
  const char* succeedPrintTestPage;
  const char* setDefaultPrinter;
  const char* installNow;
  const char* testPageText;
  const char* driverInstallFailed;
  const char* tryAddPrinterWizard;

  // 2052 gives every entry in Chinese, any other identifier every entry in English.
  InstallMessages& Load(DWORD language);
};
