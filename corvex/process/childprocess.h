/// @file
/// Child programs with their standard input, output and error on pipes.
///
/// The child runs in a session of its own (its own process group, no
/// controlling terminal). Every launched child is listed until Terminate, and
/// the listed ones are terminated when the program exits.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "corvex/process/pipestream.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// A child program with its standard input, output and error on pipes (see the
/// file comment). No method raises.
class TChildProcess : public TObject {
 public:
  /// 1 while the child runs; 0 once it has exited, or without a process.
  virtual int IsRunning();
  /// Closes both pipe streams and lets go of them.
  virtual void CloseStreams();
  /// Takes the object off the process list and kills the child together with
  /// its direct children (not theirs). 1 when the child was killed, 0 when
  /// there was no process or it had already exited; the process is forgotten
  /// either way.
  virtual int Terminate();

  /// Starts the command line: the program and its arguments separated by
  /// blanks; double quotes group words with blanks, and a backslash makes the
  /// next '"' or '\' literal. The program is looked up in PATH when its name
  /// has no '/'. Null when the pipes cannot be made or the program cannot be
  /// started (a missing program included). flags bit 0 asks for a hidden
  /// console; here every child runs without a terminal either way.
  static Ref<TChildProcess> Launch(const String& command, int flags);
  /// Terminate, then CloseStreams, for every listed child.
  static void TerminateAll();

  /// The child's exit status once IsRunning has seen it exit: the exit code,
  /// or 128 + the signal number for a child killed by a signal; -1 before.
  int ExitCode() const noexcept { return exitCode_; }
  /// The child's process id, 0 once forgotten.
  pid_t ProcessId() const noexcept { return pid_; }

  /// The command line it was launched with.
  String command;
  /// Reads the child's standard output, writes its standard input.
  Ref<TPipeByteStream> standardStream;
  /// Reads the child's standard error.
  Ref<TPipeByteStream> errorStream;

 private:
  /// Collects the exit status if the child has exited.
  void Poll();

  pid_t pid_ = 0;  ///< 0: no process record
  bool exited_ = false;
  int exitCode_ = -1;
};

/// The words of a command line, by the rules of Launch.
std::vector<std::string> SplitCommandLine(const String& command);

/// @{
/// Module functions: Launch, IsRunning, CloseStreams, Terminate and TerminateAll
/// of TChildProcess; a null process raises the null object error.
Ref<TChildProcess> LaunchChildProcess(const String& command, int flags);
int ChildProcessIsRunning(TChildProcess* process);
void CloseChildProcessStreams(TChildProcess* process);
int TerminateChildProcess(TChildProcess* process);
void TerminateAllChildProcesses();
/// @}
/// The number of children on the process list.
int ChildProcessCount();

/// The child processes and pipe streams module: registers TerminateAll to run
/// at program exit.
void InitChildProcesses();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
