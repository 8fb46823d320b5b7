// The test programs' entry: the runtime starts as it does in a real program
// (stack bounds for the collector, application directories), then GoogleTest.
#include <gtest/gtest.h>

#include "corvex/runtime/startup.h"

int main(int argc, char** argv) {
  cvx::RuntimeStartup(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
