// The Windows entry point.
#include "app/quillmate_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return ui::RunApplication(theApp, instance);
}
