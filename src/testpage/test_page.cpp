// The test page: one job of one page drawn through GDI on the new printer.
#include <cstdio>
#include <cstring>

#include "install/driver_installer.h"
#include "ui/handles.h"
#include "ui/paint_dc.h"

void CDriverInstaller::PrintTestPage(const char* queueName, HBITMAP logo, const char* bodyText) {
  BITMAP size{};
  ::GetObjectA(logo, sizeof size, &size);
  ui::Dc memory(::CreateCompatibleDC(nullptr));
  ui::Selected logoSelected(memory.Get(), logo);
  ui::Dc printer(::CreateDCA(nullptr, queueName, nullptr, nullptr));
  // An unknown queue gives no device context, and then there is nothing to print on.
  if (!printer) return;
  HDC dc = printer.Get();
  DOCINFOA document{};
  document.cbSize = sizeof document;
  document.lpszDocName = queueName;
  ::StartDocA(dc, &document);
  ::StartPage(dc);
  RECT body{10, 10, 400, 500};
  ::DrawTextA(dc, bodyText, static_cast<int>(std::strlen(bodyText)), &body, DT_NOCLIP);
  ::BitBlt(dc, 30, 20, size.bmWidth, size.bmHeight, memory.Get(), 0, 0, SRCCOPY);
  ::TextOutA(dc, 10, 430, queueName, static_cast<int>(std::strlen(queueName)));
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char date[64];
  int length = std::snprintf(date, sizeof date, "  %d-%02d-%02d %02d:%02d:%02d", now.wYear,
                             now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  ::TextOutA(dc, -20, 500, date, length);
  static const char kRule[] = "----------------------------";
  ::TextOutA(dc, -20, 800, kRule, static_cast<int>(sizeof kRule - 1));
  ::EndPage(dc);
  ::EndDoc(dc);
}
