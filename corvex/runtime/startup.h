/// @file
/// The runtime's start-up: signal handlers, the main thread's stack bounds, and
/// the application's directories, file, title and arguments.
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// Runs once, first thing in main: installs the signal handlers (the crash
/// report here, the stop signals of shutdown.h), records the main thread's
/// stack for the collector, records the launch directory, the application
/// directory and file and the arguments, and makes the application directory
/// current.
void RuntimeStartup(int argc, char** argv);
/// True once RuntimeStartup has run.
bool RuntimeStarted() noexcept;

String AppDir();     ///< the program file's directory, "/"-separated
String AppFile();    ///< the program file
String LaunchDir();  ///< the current directory at start-up
String AppTitle();   ///< "Corvex Application" unless changed
/// Sets the application title (the caption windows are made with).
void SetAppTitle(const String& title);
Array<String> AppArgs();  ///< the argument strings, the program name first

/// The runtime errors module: nothing to set up beyond start-up, kept so that
/// programs can call every module's initialiser in one order.
void InitRuntimeErrors();

/// Reports an uncaught error the way the runtime does: the text on standard
/// error. Programs call it from main's last catch before returning non-zero.
void ReportUncaughtError(const char* text);

/// Runs fn under the runtime's last-chance handler: an uncaught runtime error
/// (or any exception) is reported and gives exit status 1.
int RunGuarded(int (*fn)(int, char**), int argc, char** argv);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
