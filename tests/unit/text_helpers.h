// Shared test helpers: a fresh simulated machine per test, texts in the program's code page,
// and the folders, package files and printers several tests start from.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/rc_script.h"
#include "platform/sim/sim.h"

// The bytes a Chinese system's ANSI calls carry for a UTF-8 text.
std::string Gbk(const std::string& utf8);

// The simulated machine's temporary folder and the staging folder the program makes in it.
extern const std::string kTempFolder;
extern const std::string kStagingFolder;
// The system directory of the simulated machine, its two programs the installer starts, and the
// folder the program's exe lies in.
extern const std::string kSystemFolder;
extern const std::string kSystemNet;
extern const std::string kSystemRundll32;
extern const std::string kExeFolder;
// The eight files each flavour's folder of the package holds.
extern const char* const kDriverFiles[8];

// Unpacks, as the program does, a package whose two folders hold the eight driver files, each
// holding "<folder> <file>", less the members named in `leftOut` ("Windows x64/UNIRES.DLL").
// The staging folder is then the current directory and its files are the program's own.
void StageDriverFiles(const std::vector<std::string>& leftOut = {});

// Every call made since the log was last cleared, as "Function(arguments)"; only the named
// functions when some are given.
std::vector<std::string> CallLog(const std::vector<std::string>& functions = {});

// A 32-bit DLL image holding nothing but a version resource with this fixed file version, type
// and subtype (by default a versioned printer-driver file, VFT_DRV and VFT2_DRV_VERSIONED_PRINTER).
std::string VersionedImage(DWORD versionMS, DWORD versionLS, DWORD fileType = 3,
                           DWORD fileSubtype = 12);
// Gives a file of the simulated machine this last-write time (UTC).
void SetWriteTime(const std::string& path, WORD year, WORD month, WORD day);

// A printer that already exists: on LPT1: with a driver of its own.
void AddExistingPrinter(const std::string& name);

// A visible child control for a dialog template of a test's own; `units` holds its x, y, width
// and height in dialog units.
sim::rc::ControlTemplate TestControl(int id, const char* className, DWORD style,
                                     RECT units = {0, 0, 0, 0}, const char* text = "");

// Runs the whole program; `user` acts on its dialog while it is shown, then Esc closes it.
// False when the dialog never opened.
bool RunProgramThenEscape(const std::function<void(HWND)>& user);

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
};
