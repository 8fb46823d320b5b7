/// @file
/// The levelled log: one line per message, to standard error unless the program
/// sets its own sink. Every failure that an operation reports as a null or false
/// result also logs one warning line saying what failed and why.
///
/// The level comes from the environment variable CORVEX_LOG ("off", "error",
/// "warning", "info" or "debug"; default "warning") when the first message is
/// logged, and SetLogLevel changes it at any time. Logging is safe from any
/// thread (the audio thread and SDL's timer thread log too).
#pragma once

#include <functional>
#include <string_view>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// How serious a message is; a message passes when its level is at most the one
/// set (Off passes nothing).
enum class LogLevel { Off = -1, Error = 0, Warning = 1, Info = 2, Debug = 3 };

/// A sink receives each message that passes the level, without its line end.
/// An empty sink restores the default one (standard error, "corvex: warning: ...").
using LogSink = std::function<void(LogLevel level, std::string_view message)>;
/// Sends every message that passes to sink from now on (empty: standard error).
void SetLogSink(LogSink sink);

/// Messages above this level are dropped before they are formatted.
void SetLogLevel(LogLevel level);
/// The level in force (reading CORVEX_LOG on first use).
LogLevel GetLogLevel() noexcept;
/// True when a message of that level would pass.
bool LogEnabled(LogLevel level) noexcept;
/// Forgets the level set so far: the next message reads CORVEX_LOG again.
void ResetLogLevel() noexcept;

/// Parses a level name as CORVEX_LOG takes it (case-insensitive); false for an
/// unknown name, leaving level unchanged.
bool ParseLogLevel(std::string_view name, LogLevel& level) noexcept;
const char* LogLevelName(LogLevel level) noexcept;  ///< "error", "warning", ...

/// Logs one message. Never throws: a sink that throws has its exception dropped.
void LogMessage(LogLevel level, std::string_view message) noexcept;

/// printf-style forms. The text is cut at 4,000 bytes.
void LogError(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));
/// @{
/// As LogError at the warning, info and debug levels.
void LogWarning(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));
void LogInfo(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));
void LogDebug(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));
/// @}

}  // namespace cvx

#include "corvex/runtime/api_end.h"
