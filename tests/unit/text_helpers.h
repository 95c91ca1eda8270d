// Shared test helpers: a fresh simulated machine per test, and texts in the program's code page.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim.h"

// The bytes a Chinese system's ANSI calls carry for a UTF-8 text.
std::string Gbk(const std::string& utf8);

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
};
