// The full path of a program in the system directory.
#include "install/system_program.h"

#include <cstdio>

bool SystemProgramPath(const char* fileName, SystemProgram& program) {
  program.path[0] = program.directory[0] = '\0';
  UINT length = ::GetSystemDirectoryA(program.directory, sizeof program.directory);
  // 0 is a failure, and a length of the buffer or more is the size the answer would need.
  if (length == 0 || length >= sizeof program.directory) {
    program.directory[0] = '\0';
    return false;
  }
  int written =
      std::snprintf(program.path, sizeof program.path, "%s\\%s", program.directory, fileName);
  if (written < 0 || static_cast<size_t>(written) >= sizeof program.path) {
    program.path[0] = program.directory[0] = '\0';
    return false;
  }
  return true;
}
