// Shared test helpers: a fresh simulated machine per test, texts in the program's code page,
// and the folders, package files and printers several tests start from.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim.h"

// The bytes a Chinese system's ANSI calls carry for a UTF-8 text.
std::string Gbk(const std::string& utf8);

// The simulated machine's temporary folder and the staging folder the program makes in it.
extern const std::string kTempFolder;
extern const std::string kStagingFolder;
// The eight files each flavour's folder of the package holds.
extern const char* const kDriverFiles[8];

// A printer that already exists: on LPT1: with a driver of its own.
void AddExistingPrinter(const std::string& name);

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
};
