// The Win32 boundary: the real headers on Windows, the simulated machine's declarations elsewhere;
// both are held to the layouts Windows fixes.
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
#include "platform/win32_layout.h"
