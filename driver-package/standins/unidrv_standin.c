// Stand-in UNIDRV.DLL: tells the spooler that it is user-mode code, and nothing more. It holds
// no rendering core. It links without a C runtime.
#include <windows.h>

// winddi.h, which defines it, does not compile with MinGW's headers.
#define DRVQUERY_USERMODE 0x00000001

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
BOOL WINAPI DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded);

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

// A printer graphics DLL that does not export this is taken for kernel-mode code by the local
// print provider (DrvQueryDriverInfo, winddi.h), and Vista and later refuse to install a
// kernel-mode driver ("Choose user mode or kernel mode"). This file is user-mode code, so it
// answers TRUE in the one DWORD the query takes ("Build a printer graphics DLL": a user-mode
// one must return TRUE for DRVQUERY_USERMODE). The pages name no other mode and no error code:
// an unknown mode is refused as a bad parameter, a buffer too short as such.
BOOL WINAPI DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  if (dwMode != DRVQUERY_USERMODE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (!pBuffer || cbBuf < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *(DWORD*)pBuffer = TRUE;
  return TRUE;
}
