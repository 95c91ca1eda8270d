// Win32 types, constants and calls as the simulated machine provides them (native build only).
#pragma once

#include <cstddef>
#include <cstdint>

// ---- basic types (sizes as on 32-bit Windows where the program relies on them) ----
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef uint16_t WCHAR;
typedef int16_t SHORT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef DWORD* LPDWORD;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD LANGID;
typedef WORD ATOM;
typedef LONG HRESULT;
typedef DWORD COLORREF;
typedef LONG LSTATUS;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#define DECLARE_SIM_HANDLE(name) \
  struct name##__ {              \
    int unused;                  \
  };                             \
  typedef struct name##__* name

typedef void* HANDLE;
DECLARE_SIM_HANDLE(HWND);
DECLARE_SIM_HANDLE(HINSTANCE);
DECLARE_SIM_HANDLE(HICON);
DECLARE_SIM_HANDLE(HDC);
DECLARE_SIM_HANDLE(HBRUSH);
DECLARE_SIM_HANDLE(HBITMAP);
DECLARE_SIM_HANDLE(HFONT);
DECLARE_SIM_HANDLE(HMENU);
DECLARE_SIM_HANDLE(HKEY);
DECLARE_SIM_HANDLE(HRSRC);
DECLARE_SIM_HANDLE(HMONITOR);
DECLARE_SIM_HANDLE(HRGN);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void* HGDIOBJ;
typedef void* HGLOBAL;
typedef void* HLOCAL;
typedef void* HDEVNOTIFY;
typedef void* HDEVINFO;

#define WINAPI
#define CALLBACK
#define APIENTRY

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)(((DWORD_PTR)(w)) & 0xff))
#define MAKEWORD(a, b) ((WORD)(((BYTE)(a)) | (((WORD)((BYTE)(b))) << 8)))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | (((DWORD)((WORD)(b))) << 16)))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

// ---- structures ----
struct RECT {
  LONG left, top, right, bottom;
};
typedef RECT* LPRECT;
struct POINT {
  LONG x, y;
};
struct SIZE {
  LONG cx, cy;
};
struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};
struct MONITORINFO {
  DWORD cbSize;
  RECT rcMonitor;
  RECT rcWork;
  DWORD dwFlags;
};
typedef MONITORINFO* LPMONITORINFO;
struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};
typedef NMHDR* LPNMHDR;
struct NMIPADDRESS {
  NMHDR hdr;
  int iField;
  int iValue;
};
typedef NMIPADDRESS* LPNMIPADDRESS;
struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
struct SHELLEXECUTEINFOA {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCSTR lpVerb;
  LPCSTR lpFile;
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
};
typedef SHELLEXECUTEINFOA* LPSHELLEXECUTEINFOA;
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;
struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};
typedef SYSTEM_INFO* LPSYSTEM_INFO;
struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
struct DEV_BROADCAST_HDR {
  DWORD dbch_size;
  DWORD dbch_devicetype;
  DWORD dbch_reserved;
};
typedef DEV_BROADCAST_HDR* PDEV_BROADCAST_HDR;
struct DEV_BROADCAST_DEVICEINTERFACE_A {
  DWORD dbcc_size;
  DWORD dbcc_devicetype;
  DWORD dbcc_reserved;
  GUID dbcc_classguid;
  char dbcc_name[1];
};

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// ---- window messages ----
#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_SETCURSOR 0x0020
#define WM_ICONERASEBKGND 0x0027
#define WM_GETFONT 0x0031
#define WM_QUERYDRAGICON 0x0037
#define WM_NOTIFY 0x004E
#define WM_SETICON 0x0080
#define WM_NCDESTROY 0x0082
#define WM_GETDLGCODE 0x0087
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_DEVICECHANGE 0x0219
#define WM_USER 0x0400
#define EM_GETLINECOUNT 0x00BA
#define EM_GETMARGINS 0x00D4

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0
#define BN_DOUBLECLICKED 5

#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_DELETESTRING 0x0182
#define LB_RESETCONTENT 0x0184
#define LB_SETCURSEL 0x0186
#define LB_GETCURSEL 0x0188
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_GETHORIZONTALEXTENT 0x0193
#define LB_SETHORIZONTALEXTENT 0x0194
#define LB_ERR (-1)
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2

#define STN_CLICKED 0
#define STN_DBLCLK 1

#define IPM_CLEARADDRESS (WM_USER + 100)
#define IPM_SETADDRESS (WM_USER + 101)
#define IPM_GETADDRESS (WM_USER + 102)
#define IPM_SETRANGE (WM_USER + 103)
#define IPM_SETFOCUS (WM_USER + 104)
#define IPM_ISBLANK (WM_USER + 105)
#define IPN_FIRST (0U - 860U)
#define IPN_FIELDCHANGED (IPN_FIRST - 0)
#define MAKEIPADDRESS(b1, b2, b3, b4) \
  ((LPARAM)(((DWORD)(b1) << 24) + ((DWORD)(b2) << 16) + ((DWORD)(b3) << 8) + ((DWORD)(b4))))
#define FIRST_IPADDRESS(x) ((x >> 24) & 0xff)
#define SECOND_IPADDRESS(x) ((x >> 16) & 0xff)
#define THIRD_IPADDRESS(x) ((x >> 8) & 0xff)
#define FOURTH_IPADDRESS(x) (x & 0xff)
#define WC_IPADDRESSA "SysIPAddress32"

// ---- window, dialog and control styles ----
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_STATICEDGE 0x00020000L
#define WS_EX_APPWINDOW 0x00040000L
#define DS_3DLOOK 0x0004L
#define DS_FIXEDSYS 0x0008L
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_CENTER 0x0800L
#define BS_PUSHBUTTON 0x0000L
#define BS_DEFPUSHBUTTON 0x0001L
#define BS_CHECKBOX 0x0002L
#define BS_AUTOCHECKBOX 0x0003L
#define BS_RADIOBUTTON 0x0004L
#define BS_GROUPBOX 0x0007L
#define BS_AUTORADIOBUTTON 0x0009L
#define BS_TYPEMASK 0x000FL
#define BS_LEFTTEXT 0x0020L
#define BS_MULTILINE 0x2000L
#define BS_FLAT 0x8000L
#define SS_LEFT 0x0000L
#define SS_CENTER 0x0001L
#define SS_RIGHT 0x0002L
#define SS_SIMPLE 0x000BL
#define SS_LEFTNOWORDWRAP 0x000CL
#define SS_TYPEMASK 0x001FL
#define SS_NOTIFY 0x0100L
#define ES_LEFT 0x0000L
#define ES_MULTILINE 0x0004L
#define ES_AUTOVSCROLL 0x0040L
#define ES_READONLY 0x0800L
#define LBS_NOTIFY 0x0001L
#define LBS_SORT 0x0002L
#define LBS_OWNERDRAWFIXED 0x0010L
#define LBS_OWNERDRAWVARIABLE 0x0020L
#define LBS_NOINTEGRALHEIGHT 0x0100L

#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_ID (-12)
#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define GW_HWNDFIRST 0
#define GW_HWNDNEXT 2
#define GW_CHILD 5

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define MB_OK 0x0000L
#define MB_OKCANCEL 0x0001L
#define MB_YESNOCANCEL 0x0003L
#define MB_YESNO 0x0004L
#define MB_ICONERROR 0x0010L
#define MB_ICONQUESTION 0x0020L
#define MB_ICONWARNING 0x0030L
#define MB_ICONINFORMATION 0x0040L
#define MB_TYPEMASK 0x000FL

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9

#define SMTO_NORMAL 0x0000
#define SMTO_BLOCK 0x0001
#define SMTO_ABORTIFHUNG 0x0002
#define MONITOR_DEFAULTTONULL 0x00000000
#define MONITOR_DEFAULTTOPRIMARY 0x00000001
#define MONITOR_DEFAULTTONEAREST 0x00000002
#define MONITORINFOF_PRIMARY 0x00000001
#define RDW_INVALIDATE 0x0001
#define RDW_ERASE 0x0004
#define RDW_ALLCHILDREN 0x0080
#define RDW_UPDATENOW 0x0100
#define RDW_FRAME 0x0400

#define ICON_SMALL 0
#define ICON_BIG 1
#define SM_CXICON 11
#define SM_CYICON 12
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_HAND MAKEINTRESOURCEA(32649)
#define HTCLIENT 1
#define SC_CLOSE 0xF060
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define ICC_WIN95_CLASSES 0x000000FF

#define DBT_DEVICEARRIVAL 0x8000
#define DBT_DEVICEREMOVECOMPLETE 0x8004
#define DBT_DEVTYP_VOLUME 0x00000002
#define DBT_DEVTYP_PORT 0x00000003
#define DBT_DEVTYP_DEVICEINTERFACE 0x00000005
#define DEVICE_NOTIFY_WINDOW_HANDLE 0x00000000
#define DEVICE_NOTIFY_ALL_INTERFACE_CLASSES 0x00000004

// ---- system ----
#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_IA64 6
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED 0xFFFFFFFF

// ---- error codes ----
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NOT_OWNER 288L
#define ERROR_TIMEOUT 1460L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_BAD_LENGTH 24L
#define ERROR_GEN_FAILURE 31L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L

// ---- calls ----
// kernel32
DWORD GetLastError();
void SetLastError(DWORD error);
LANGID GetUserDefaultUILanguage();
HMODULE GetModuleHandleA(LPCSTR moduleName);
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
// Modules: kernel32 and ntdll are always loaded; GetProcAddress finds in them what the
// simulated Windows release exports of the functions the program looks up (platform/sim/
// modules.cpp), and the DLLs a program loads are searched for as Windows does.
typedef INT_PTR (*FARPROC)();
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
HMODULE LoadLibraryA(LPCSTR fileName);
HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE reserved, DWORD flags);
BOOL FreeLibrary(HMODULE module);
void OutputDebugStringA(LPCSTR text);
void Sleep(DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD GetTickCount();
// Named objects of the session's namespace (platform/sim/objects.cpp).
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);
BOOL GetVersionExA(LPOSVERSIONINFOA info);
void GetNativeSystemInfo(LPSYSTEM_INFO info);
UINT GetACP();
int lstrcmpiA(LPCSTR a, LPCSTR b);

// comctl32
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// shell32
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT showCommand);
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);

// user32: dialogs and windows
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR buffer, int size);
int GetWindowTextLengthA(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL IsWindowVisible(HWND window);
BOOL IsWindow(HWND window);
BOOL IsIconic(HWND window);
HWND GetWindow(HWND window, UINT command);
HWND GetParent(HWND window);
LONG GetWindowLongA(HWND window, int index);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
int GetClassNameA(HWND window, LPSTR buffer, int size);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL GetWindowRect(HWND window, LPRECT rect);
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags);
HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName);
UINT RegisterWindowMessageA(LPCSTR name);
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, DWORD_PTR* result);
BOOL SetForegroundWindow(HWND window);
HMONITOR MonitorFromWindow(HWND window, DWORD flags);
BOOL GetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info);
BOOL RedrawWindow(HWND window, const RECT* update, HRGN region, UINT flags);

// user32: painting, icons, cursors
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
int GetSystemMetrics(int index);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);

// ---- files, folders and times ----
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define DELETE 0x00010000L
#define SYNCHRONIZE 0x00100000L
#define FILE_READ_DATA 0x0001
#define FILE_LIST_DIRECTORY 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_WRITE_FAULT 29L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIRECTORY 267L

struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;
typedef FILETIME* LPFILETIME;
typedef SYSTEMTIME* LPSYSTEMTIME;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

DWORD GetTempPathA(DWORD size, LPSTR buffer);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL DeleteFileA(LPCSTR path);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write);
BOOL CopyFileA(LPCSTR existing, LPCSTR newFile, BOOL failIfExists);

// Files as handles: what a handle was opened on, folder listings and deletion through it.
struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
typedef BY_HANDLE_FILE_INFORMATION* LPBY_HANDLE_FILE_INFORMATION;
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  long long QuadPart;
};
// Vista and later (kernel32 of XP and Server 2003 lacks them): hidden, as MinGW's headers hide
// them, from code compiled against XP's level; the product reaches them through GetProcAddress.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT >= 0x0600
enum FILE_INFO_BY_HANDLE_CLASS {
  FileBasicInfo = 0,
  FileDispositionInfo = 4,
  FileIdBothDirectoryInfo = 10,
  FileIdBothDirectoryRestartInfo = 11,
};
struct FILE_BASIC_INFO {
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  DWORD FileAttributes;
};
struct FILE_DISPOSITION_INFO {
  unsigned char DeleteFile;  // BOOLEAN, as Windows' headers have it
};
struct FILE_ID_BOTH_DIR_INFO {
  DWORD NextEntryOffset;
  DWORD FileIndex;
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  LARGE_INTEGER EndOfFile;
  LARGE_INTEGER AllocationSize;
  DWORD FileAttributes;
  DWORD FileNameLength;
  DWORD EaSize;
  CHAR ShortNameLength;
  WCHAR ShortName[12];
  LARGE_INTEGER FileId;
  WCHAR FileName[1];
};
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer,
                                  DWORD size);
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID buffer,
                                DWORD size);
#endif

#define CP_ACP 0
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080
#define MB_ERR_INVALID_CHARS 0x00000008
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength, LPSTR bytes,
                        int size, LPCSTR defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int length, WCHAR* wide,
                        int size);
DWORD GetTempPathW(DWORD size, WCHAR* buffer);
DWORD GetShortPathNameW(const WCHAR* longPath, WCHAR* shortPath, DWORD size);
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
BOOL CreateDirectoryW(const WCHAR* path, LPSECURITY_ATTRIBUTES security);
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE search);
BOOL SystemTimeToFileTime(const SYSTEMTIME* system, LPFILETIME file);
BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc);
void GetLocalTime(LPSYSTEMTIME time);

// ---- the program's resources ----
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);

// ---- ANSI code page ----
BOOL IsDBCSLeadByte(BYTE byte);
LPSTR CharNextA(LPCSTR text);

// ---- print spooler ----
struct DRIVER_INFO_3A {
  DWORD cVersion;
  LPSTR pName;
  LPSTR pEnvironment;
  LPSTR pDriverPath;
  LPSTR pDataFile;
  LPSTR pConfigFile;
  LPSTR pHelpFile;
  LPSTR pDependentFiles;
  LPSTR pMonitorName;
  LPSTR pDefaultDataType;
};
struct DEVMODEA;
struct SECURITY_DESCRIPTOR;
struct PRINTER_INFO_2A {
  LPSTR pServerName;
  LPSTR pPrinterName;
  LPSTR pShareName;
  LPSTR pPortName;
  LPSTR pDriverName;
  LPSTR pComment;
  LPSTR pLocation;
  DEVMODEA* pDevMode;
  LPSTR pSepFile;
  LPSTR pPrintProcessor;
  LPSTR pDatatype;
  LPSTR pParameters;
  SECURITY_DESCRIPTOR* pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
};
#define PRINTER_ENUM_LOCAL 0x00000002
#define PRINTER_ENUM_CONNECTIONS 0x00000004
#define PRINTER_ATTRIBUTE_LOCAL 0x00000040
#define ERROR_INVALID_LEVEL 124L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_INVALID_USER_BUFFER 1784L
#define ERROR_UNKNOWN_PORT 1796L
#define ERROR_UNKNOWN_PRINTPROCESSOR 1798L
#define ERROR_INVALID_PRIORITY 1800L
#define ERROR_INVALID_DATATYPE 1804L
#define ERROR_UNKNOWN_PRINTER_DRIVER 1797L
#define ERROR_INVALID_PRINTER_NAME 1801L
#define ERROR_PRINTER_ALREADY_EXISTS 1802L
#define ERROR_INVALID_ENVIRONMENT 1805L
#define ERROR_SPOOL_FILE_NOT_FOUND 3002L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define RPC_S_SERVER_UNAVAILABLE 1722L
#define RPC_X_NULL_REF_POINTER 1780L
struct PORT_INFO_1A {
  LPSTR pName;
};
struct PRINTER_DEFAULTSA {
  LPSTR pDatatype;
  DEVMODEA* pDevMode;
  ACCESS_MASK DesiredAccess;
};
#define SERVER_ACCESS_ADMINISTER 0x00000001

BOOL GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                DWORD size, LPDWORD needed);
BOOL AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info);
BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                   LPDWORD returned);
HANDLE AddPrinterA(LPSTR server, DWORD level, LPBYTE info);
BOOL ClosePrinter(HANDLE printer);
BOOL SetDefaultPrinterA(LPCSTR name);
BOOL ConfigurePortA(LPSTR server, HWND owner, LPSTR portName);
BOOL EnumPortsA(LPSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                LPDWORD returned);
BOOL OpenPrinterA(LPSTR name, HANDLE* printer, PRINTER_DEFAULTSA* defaults);
BOOL XcvDataW(HANDLE xcv, const WCHAR* dataName, BYTE* input, DWORD inputSize, BYTE* output,
              DWORD outputSize, DWORD* outputNeeded, DWORD* status);

// ---- system messages and local memory ----
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_USER_DEFAULT 0x0400
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);
HLOCAL LocalFree(HLOCAL memory);

// ---- registry ----
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_NOTIFY 0x0010
#define KEY_ALL_ACCESS 0xF003F
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define ERROR_CHILD_MUST_BE_VOLATILE 1021L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                        REGSAM access, LPSECURITY_ATTRIBUTES security, HKEY* result,
                        LPDWORD disposition);
LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegCloseKey(HKEY key);

// ---- device interfaces ----
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_DEVICEINTERFACE 0x00000010
#define SPINT_ACTIVE 0x00000001
#define SPINT_DEFAULT 0x00000002
#define SPINT_REMOVED 0x00000004
struct SP_DEVINFO_DATA;
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;
struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};
typedef SP_DEVICE_INTERFACE_DATA* PSP_DEVICE_INTERFACE_DATA;
// Laid out as in a 64-bit process, as the host's: 8 bytes.
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  CHAR DevicePath[1];
};
typedef SP_DEVICE_INTERFACE_DETAIL_DATA_A* PSP_DEVICE_INTERFACE_DETAIL_DATA_A;
HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* classGuid,
                                 DWORD index, PSP_DEVICE_INTERFACE_DATA data);
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                      LPDWORD required, PSP_DEVINFO_DATA device);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// ---- GDI ----
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
struct DOCINFOA {
  int cbSize;
  LPCSTR lpszDocName;
  LPCSTR lpszOutput;
  LPCSTR lpszDatatype;
  DWORD fwType;
};
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_EDITCONTROL 0x00002000
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
#define SRCCOPY 0x00CC0020
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
HDC CreateCompatibleDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* mode);
int StartDocA(HDC dc, const DOCINFOA* info);
int StartPage(HDC dc);
int DrawTextA(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format);
BOOL BitBlt(HDC dc, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count);
int EndPage(HDC dc);
int EndDoc(HDC dc);
BOOL DeleteDC(HDC dc);
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
BOOL DeleteObject(HGDIOBJ object);
