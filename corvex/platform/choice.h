/// @file
/// The choice between the platform with a display (SDL windows, OpenGL) and the
/// headless one (a clock, a scripted event queue, 2D drawing into memory).
///
/// CORVEX_PLATFORM=headless in the environment always gives the headless
/// platform, so that any program can run without a display server;
/// CORVEX_PLATFORM=sdl (or "display") asks for the display whatever the
/// program prefers. Otherwise the program's wish decides, and a program that
/// allows it falls back to headless when no display can be opened.
#pragma once
#include "corvex/runtime/api_begin.h"

namespace cvx {

inline constexpr int PlatformAuto = 0;      ///< the display when there is one
inline constexpr int PlatformDisplay = 1;   ///< SDL and OpenGL
inline constexpr int PlatformHeadless = 2;  ///< no display

/// What CORVEX_PLATFORM names: PlatformHeadless for "headless", PlatformDisplay
/// for "sdl" or "display", PlatformAuto when it is unset, empty or anything else.
int PlatformFromEnvironment();

/// The platform that results from the environment, the program's wish and
/// whether a display can be opened (displayAvailable) and headless is allowed.
int ResolvePlatform(int fromEnvironment, int wish, bool displayAvailable, bool allowHeadless);

/// Starts the 2D layer on the resolved platform (the OpenGL 2D driver, or the
/// headless host system and 2D driver) and returns PlatformDisplay or
/// PlatformHeadless. Runs once; later calls return the first result.
int InitPlatform(int wish = PlatformAuto, bool allowHeadless = false);

/// The platform InitPlatform chose, PlatformAuto before it ran.
int CurrentPlatform();

/// Installs the headless host system (the current host stays inside it for
/// window-less events such as timer ticks) and selects the headless 2D driver.
void InitHeadlessPlatform();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
