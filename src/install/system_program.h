// The full path of a program in the system directory, for starting it without a search.
#pragma once

#include "platform/win32.h"

// A program of the system at its own place: `path` is the system directory, a backslash and
// `fileName`; `directory` is the system directory, to start it in.
struct SystemProgram {
  char path[MAX_PATH];
  char directory[MAX_PATH];
};

// False, with nothing to start, when the system directory cannot be had or the path would not
// fit: a bare name would be looked for in the exe's folder and the current directory first.
bool SystemProgramPath(const char* fileName, SystemProgram& program);
