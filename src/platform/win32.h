// The Win32 boundary: the real headers on Windows, the simulated machine's declarations elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <winspool.h>
#include <setupapi.h>
#include <dbt.h>
#include "platform/win32_layout.h"
#else
#include "platform/sim/win32_sim.h"
#endif
