// CQuillmateApp: prepares the common controls and runs the main dialog modally.
#pragma once

#include "ui/win_app.h"

class CQuillmateApp : public ui::CWinApp {
 public:
  ~CQuillmateApp() override = default;
  // Runs the dialog and returns false, so the program ends when the dialog closes.
  bool InitInstance() override;
  // ID_HELP goes to the framework's help.
  const ui::AppCommandMap* GetCommandMap() const override;
};

extern CQuillmateApp theApp;
