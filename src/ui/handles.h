// The platform handles the program holds, each released by its own call when it goes.
#pragma once

#include "platform/win32.h"
#include "ui/unique_handle.h"

namespace ui {

struct KeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type key) { ::RegCloseKey(key); }
};
struct FileTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type file) { ::CloseHandle(file); }
};
struct ProcessTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type process) { ::CloseHandle(process); }
};
struct MutexTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type mutex) { ::CloseHandle(mutex); }
};
struct PrinterTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type printer) { ::ClosePrinter(printer); }
};
struct DeviceSetTraits {
  using Type = HDEVINFO;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type set) { ::SetupDiDestroyDeviceInfoList(set); }
};
struct DcTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type dc) { ::DeleteDC(dc); }
};
struct BitmapTraits {
  using Type = HBITMAP;
  static Type Invalid() { return nullptr; }
  static void Close(Type bitmap) { ::DeleteObject(bitmap); }
};

using Key = UniqueHandle<KeyTraits>;
using File = UniqueHandle<FileTraits>;
using Process = UniqueHandle<ProcessTraits>;
using Mutex = UniqueHandle<MutexTraits>;
using Printer = UniqueHandle<PrinterTraits>;
using DeviceSet = UniqueHandle<DeviceSetTraits>;
using Dc = UniqueHandle<DcTraits>;
using Bitmap = UniqueHandle<BitmapTraits>;

}  // namespace ui
