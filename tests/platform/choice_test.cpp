// Which platform a program gets from the environment, its wish and the display.
#include "corvex/platform/choice.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace cvx {
namespace {

TEST(PlatformChoice, EnvironmentThenWishThenFallback) {
  // The environment wins over the program.
  EXPECT_EQ(ResolvePlatform(PlatformHeadless, PlatformDisplay, true, false), PlatformHeadless);
  EXPECT_EQ(ResolvePlatform(PlatformDisplay, PlatformHeadless, true, false), PlatformDisplay);
  EXPECT_EQ(ResolvePlatform(PlatformAuto, PlatformHeadless, true, false), PlatformHeadless);
  // No display: headless only when allowed, and not against an explicit wish.
  EXPECT_EQ(ResolvePlatform(PlatformAuto, PlatformAuto, false, true), PlatformHeadless);
  EXPECT_EQ(ResolvePlatform(PlatformAuto, PlatformAuto, false, false), PlatformDisplay);
  EXPECT_EQ(ResolvePlatform(PlatformAuto, PlatformDisplay, false, true), PlatformDisplay);
  EXPECT_EQ(ResolvePlatform(PlatformAuto, PlatformAuto, true, true), PlatformDisplay);
}

TEST(PlatformChoice, EnvironmentNames) {
  const char* saved = std::getenv("CORVEX_PLATFORM");
  std::string keep = saved ? saved : "";
  setenv("CORVEX_PLATFORM", "headless", 1);
  EXPECT_EQ(PlatformFromEnvironment(), PlatformHeadless);
  setenv("CORVEX_PLATFORM", "sdl", 1);
  EXPECT_EQ(PlatformFromEnvironment(), PlatformDisplay);
  setenv("CORVEX_PLATFORM", "display", 1);
  EXPECT_EQ(PlatformFromEnvironment(), PlatformDisplay);
  setenv("CORVEX_PLATFORM", "Headless!", 1);
  EXPECT_EQ(PlatformFromEnvironment(), PlatformAuto);
  unsetenv("CORVEX_PLATFORM");
  EXPECT_EQ(PlatformFromEnvironment(), PlatformAuto);
  if (saved) setenv("CORVEX_PLATFORM", keep.c_str(), 1);
}

TEST(PlatformChoice, HeadlessOnRequestRunsOnce) {
  setenv("CORVEX_PLATFORM", "headless", 1);
  EXPECT_EQ(InitPlatform(PlatformDisplay, false), PlatformHeadless);
  unsetenv("CORVEX_PLATFORM");
  EXPECT_EQ(InitPlatform(PlatformDisplay, false), PlatformHeadless);
  EXPECT_EQ(CurrentPlatform(), PlatformHeadless);
}

}  // namespace
}  // namespace cvx
