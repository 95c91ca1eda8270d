/* A program another program of the user planted where a search would find it (copied as
   net.exe or rundll32.exe): it only notes that it ran, with its path and command line. */
#include <windows.h>

static void Put(HANDLE file, const char* text) {
  DWORD written = 0;
  WriteFile(file, text, (DWORD)lstrlenA(text), &written, NULL);
}

int main(void) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(NULL, self, MAX_PATH);
  HANDLE log = CreateFileA("C:\\planted-programs-ran.txt", FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
  if (log == INVALID_HANDLE_VALUE) return 1;
  Put(log, self);
  Put(log, "\t");
  Put(log, GetCommandLineA());
  Put(log, "\r\n");
  CloseHandle(log);
  return 0;
}
