// Reader of the program's own .rc script, so the simulated machine builds the same dialog.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sim/win32_sim.h"

namespace sim::rc {

struct ControlTemplate {
  std::string text;  // UTF-8, as written in the script
  int id = 0;
  std::string className;
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
  int id = 0;
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;  // UTF-8
  std::string fontName;
  int fontSize = 0;
  std::vector<ControlTemplate> controls;
};

struct ResourceScript {
  std::map<int, DialogTemplate> dialogs;
  std::map<int, std::string> icons;    // id -> file path
  std::map<int, std::string> bitmaps;  // id -> file path
  // (upper-case type name, id) -> file path, for resources of named types such as ZIP
  std::map<std::pair<std::string, int>, std::string> custom;
};

// Parses a script and the quoted headers it includes (searched beside it and in includeDirs).
// Returns false with a message naming the file and line when the script has a form it cannot read.
bool ParseScript(const std::string& path, const std::vector<std::string>& includeDirs,
                 ResourceScript& out, std::string& error);

// The program's own resources, parsed once from the source tree.
const ResourceScript& ProgramResources();

}  // namespace sim::rc
