// The installer's message boxes: OK only, owned by the main window, captioned with the app name.
#pragma once

#include "platform/win32.h"

void ShowInstallerMessage(const char* text);
// The system's text for `error`, or "Error <code> (0x<hex>)" when the system has none.
void ShowSystemErrorText(DWORD error);
