// The Windows entry point.
#include "app/quillmate_app.h"
#include "platform/system_dlls.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything else: no DLL of the elevated process may come from the exe's folder.
  if (!sys::LoadSystemDlls()) return ERROR_MOD_NOT_FOUND;
  return ui::RunApplication(theApp, instance);
}
