// The Win32 boundary: the real headers on Windows, the simulated machine's declarations elsewhere;
// both are held to the layouts Windows fixes (tests/windows/win32_layout_check.cpp).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <winspool.h>
#include <setupapi.h>
#include <dbt.h>
#else
#include "platform/sim/win32_sim.h"
#endif
