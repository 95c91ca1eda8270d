// InstallMessages: the installer's eleven localised texts, chosen for a language identifier.
#pragma once

#include "platform/win32.h"

// The one language identifier that selects the Chinese texts.
constexpr DWORD kChineseSimplified = 2052;

// Whether the texts for `language` are the Chinese ones: only for 2052 on a machine whose 8-bit
// calls read GBK (ANSI code page 936). Anywhere else the GBK bytes would show as garbage, and a
// queue named with them would keep the wrong name, so those machines get the English texts.
bool ShowsChinese(DWORD language);

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

  // Every entry in Chinese where ShowsChinese(language), every entry in English otherwise.
  InstallMessages& Load(DWORD language);
};
