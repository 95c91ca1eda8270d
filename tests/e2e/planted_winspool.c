/* A WINSPOOL.DRV or SETUPAPI.dll as another program of the user would plant it beside
   Quillmate.exe (one source, built under both names): when a process loads it, it says so in
   C:\qm-planted-dll.txt. It exports the spooler and device installation functions the program
   calls, so that a loader resolving the program's imports from it takes it; each refuses. */
#include <windows.h>

static void Tell(HINSTANCE self) {
  char line[2 * MAX_PATH + 16] = "";
  char dll[MAX_PATH] = "", exe[MAX_PATH] = "";
  GetModuleFileNameA(self, dll, MAX_PATH);
  GetModuleFileNameA(NULL, exe, MAX_PATH);
  lstrcatA(line, dll);
  lstrcatA(line, " in ");
  lstrcatA(line, exe);
  lstrcatA(line, "\r\n");
  HANDLE marker =
      CreateFileA("C:\\qm-planted-dll.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (marker == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(marker, line, (DWORD)lstrlenA(line), &written, NULL);
  CloseHandle(marker);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) Tell(self);
  return TRUE;
}

static BOOL Refuse(void) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

__declspec(dllexport) HANDLE WINAPI AddPrinterA(LPSTR server, DWORD level, LPBYTE info) {
  (void)server, (void)level, (void)info;
  Refuse();
  return NULL;
}
__declspec(dllexport) BOOL WINAPI AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info) {
  (void)server, (void)level, (void)info;
  return Refuse();
}
__declspec(dllexport) BOOL WINAPI ClosePrinter(HANDLE printer) {
  (void)printer;
  return Refuse();
}
__declspec(dllexport) BOOL WINAPI ConfigurePortA(LPSTR server, HWND owner, LPSTR port) {
  (void)server, (void)owner, (void)port;
  return Refuse();
}
__declspec(dllexport) BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer,
                                                DWORD size, LPDWORD needed, LPDWORD returned) {
  (void)flags, (void)name, (void)level, (void)buffer, (void)size, (void)needed, (void)returned;
  return Refuse();
}
__declspec(dllexport) BOOL WINAPI
    GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                               DWORD size, LPDWORD needed) {
  (void)server, (void)environment, (void)level, (void)buffer, (void)size, (void)needed;
  return Refuse();
}
__declspec(dllexport) BOOL WINAPI SetDefaultPrinterA(LPCSTR name) {
  (void)name;
  return Refuse();
}

__declspec(dllexport) HANDLE WINAPI
    SetupDiGetClassDevsA(const GUID* guid, LPCSTR enumerator, HWND parent, DWORD flags) {
  (void)guid, (void)enumerator, (void)parent, (void)flags;
  Refuse();
  return INVALID_HANDLE_VALUE;
}
__declspec(dllexport) BOOL WINAPI
    SetupDiEnumDeviceInterfaces(HANDLE set, void* device, const GUID* guid, DWORD index,
                                void* data) {
  (void)set, (void)device, (void)guid, (void)index, (void)data;
  return Refuse();
}
__declspec(dllexport) BOOL WINAPI
    SetupDiGetDeviceInterfaceDetailA(HANDLE set, void* data, void* detail, DWORD size,
                                     DWORD* needed, void* device) {
  (void)set, (void)data, (void)detail, (void)size, (void)needed, (void)device;
  return Refuse();
}
__declspec(dllexport) BOOL WINAPI SetupDiDestroyDeviceInfoList(HANDLE set) {
  (void)set;
  return Refuse();
}
