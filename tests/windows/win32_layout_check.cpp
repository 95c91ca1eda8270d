// The sizes Windows fixes for the structures the program hands it: compiled in each Windows
// build, and with the unit tests against the simulated machine's 64-bit layouts.
#include <cstddef>

#include "platform/system_calls.h"
#include "platform/win32.h"

// Windows checks cbSize-style fields against its own layout and refuses any other value, so
// a header or packing mistake would fail only at run time, on one architecture. The figures
// are the platform's documented ones for 32-bit and 64-bit processes.
#define QM_WIN32_SIZE(x86, x64) (sizeof(void*) == 8 ? (x64) : (x86))

// SetupDiGetDeviceInterfaceDetailA and SetupDiEnumDeviceInterfaces check cbSize against these.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == QM_WIN32_SIZE(5, 8));
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == QM_WIN32_SIZE(28, 32));
// ShellExecuteExA checks cbSize; StartDocA reads it.
static_assert(sizeof(SHELLEXECUTEINFOA) == QM_WIN32_SIZE(60, 112));
static_assert(sizeof(DOCINFOA) == QM_WIN32_SIZE(20, 40));
// RegisterDeviceNotificationA reads dbcc_size.
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32);
// GetVersionExA checks dwOSVersionInfoSize; InitCommonControlsEx checks dwSize.
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8);
// EnumPrintersA's level-2 records lie this far apart; AddPrinterDriverA reads level 3.
static_assert(sizeof(PRINTER_INFO_2A) == QM_WIN32_SIZE(84, 136));
static_assert(sizeof(DRIVER_INFO_3A) == QM_WIN32_SIZE(40, 80));
// EnumPortsA's level-1 records lie this far apart; OpenPrinterA reads the access asked for.
static_assert(sizeof(PORT_INFO_1A) == QM_WIN32_SIZE(4, 8));
static_assert(sizeof(PRINTER_DEFAULTSA) == QM_WIN32_SIZE(12, 24));

// ntdll's calls (and kernel32's Vista calls, where XP lacks them) read these records by their
// documented layouts; NtQueryDirectoryFile writes FILE_ID_BOTH_DIR_INFORMATION.
static_assert(sizeof(sys::IoStatusBlock) == QM_WIN32_SIZE(8, 16));
static_assert(sizeof(sys::FileBasicInformation) == 40);
static_assert(sizeof(sys::FileDispositionInformation) == 1);
static_assert(offsetof(sys::FileIdBothDirInformation, fileAttributes) == 56);
static_assert(offsetof(sys::FileIdBothDirInformation, shortName) == 70);
static_assert(offsetof(sys::FileIdBothDirInformation, fileId) == 96);
static_assert(offsetof(sys::FileIdBothDirInformation, fileName) == 104);

#undef QM_WIN32_SIZE
