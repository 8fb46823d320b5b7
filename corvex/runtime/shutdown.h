/// @file
/// Ending the program in order, also when it is asked to stop by a signal.
///
/// Modules register shutdown steps in their initialisers (the process module
/// ends the child processes, graphics restores the display mode, the stream
/// module flushes open write streams). RunShutdown runs them, newest first, so
/// that a module's step runs before the steps of the modules it was built on.
///
/// SIGTERM, SIGINT, SIGHUP and SIGQUIT ask the program to stop (RuntimeStartup
/// installs the handlers, except for a signal the program was started with
/// ignored or already handled, as under nohup). The handler only notes the
/// request; the main loop's next poll (PumpSystem, PumpSystemWait, FlipFrame,
/// or a direct ExitIfStopRequested) runs RunShutdown and ends the process with
/// status 128 + the signal number. A second signal of the same kind, or no poll
/// within kStopPollSeconds, ends the process at once with the same status,
/// through async-signal-safe calls that still kill the child processes
/// (those noted with TrackChildProcess). A shutdown that itself hangs is ended
/// the same way after kShutdownSeconds.
#pragma once

#include <sys/types.h>

#include <functional>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// How long after a stop signal the main loop has to poll before the process
/// is ended at once.
inline constexpr unsigned kStopPollSeconds = 2;
/// How long RunShutdown may take after a stop signal before the process is
/// ended at once.
inline constexpr unsigned kShutdownSeconds = 5;

/// Adds a step; name says what it does, for the log. Steps added while
/// RunShutdown runs are not run.
void AddShutdownStep(const char* name, std::function<void()> step);

/// Runs every step once, in reverse order of registration; later calls do
/// nothing. A step that raises is reported as a logged error and the rest
/// still run.
void RunShutdown() noexcept;
/// True once RunShutdown has started.
bool ShutdownStarted() noexcept;

/// True once a stop signal has arrived; StopSignal is its number (0 before).
bool StopRequested() noexcept;
/// The number of the stop signal that arrived, 0 before one.
int StopSignal() noexcept;

/// Returns at once unless a stop was requested, and also when called from
/// inside the shutdown (a step that polls); otherwise runs RunShutdown, flushes
/// the C streams and ends the process with 128 + StopSignal (). Call it from
/// the main thread.
void ExitIfStopRequested();

/// Installs the stop-signal handlers (RuntimeStartup calls it; more calls do
/// nothing).
void InstallStopSignalHandlers() noexcept;

/// The table of child processes that an immediate end kills with SIGKILL.
/// Holds up to kMaxTrackedChildren at once (the process module's own list
/// still ends the rest in RunShutdown). A process must be untracked once it
/// has been reaped, before its id can be reused.
inline constexpr int kMaxTrackedChildren = 256;
/// @{
/// Notes / forgets a child process that an ending by signal must still kill.
void TrackChildProcess(pid_t pid) noexcept;
void UntrackChildProcess(pid_t pid) noexcept;
/// @}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
