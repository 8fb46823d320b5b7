/// @file
/// The one entry point of a Corvex program: start every module, run the
/// program under the runtime's error guard, and shut everything down again.
///
///   int Game(int argc, char** argv) { /* open a window, loop, FlipFrame */ return 0; }
///   int main(int argc, char** argv) { return cvx::RunProgram(argc, argv, Game); }
///
/// The Init<Module>() functions stay public for programs that want only some
/// modules; StartCorvex runs all of them in the framework's start-up order.
#pragma once

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// Runs every module's initialiser once, in the framework's start-up order
/// (the runtime, data streams, banks, the basic modules, pixmaps, the OpenGL
/// 2D driver with graphics, events, system and input, the decoders, timers,
/// child processes, Lua and the script engine). A second call does nothing.
/// Raises a runtime error when RuntimeStartup has not run yet.
void StartCorvex();

/// Undoes what the program started, in reverse: sounds are stopped and the
/// audio device closed, joysticks are let go, the opened display is shut
/// and every framework window and context closed (a full-screen mode is given
/// back), child processes are ended, open write streams are flushed. The
/// modules stay initialised, so StartCorvex afterwards simply marks Corvex as
/// started again. Nothing happens when Corvex is not started. Never raises.
void StopCorvex() noexcept;

/// True between StartCorvex and StopCorvex.
bool CorvexStarted() noexcept;

/// RuntimeStartup, StartCorvex, then program under the runtime's error guard,
/// then StopCorvex. Returns program's result, or 1 when it (or start-up)
/// raised; the error's text is then reported on standard error.
int RunProgram(int argc, char** argv, int (*program)(int, char**));

}  // namespace cvx

#include "corvex/runtime/api_end.h"
