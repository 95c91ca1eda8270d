// Test entry. A call that breaks a documented rule of the platform fails the test that made it.
#include <gtest/gtest.h>

#include "platform/sim/sim.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sim::OnBrokenContract(
      [](const std::string& call) { ADD_FAILURE() << "broken contract: " << call; });
  return RUN_ALL_TESTS();
}
