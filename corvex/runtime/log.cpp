#include "corvex/runtime/log.h"

#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace cvx {
namespace {

constexpr int kLevelUnset = -2;
std::atomic<int> g_level{kLevelUnset};

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

int CurrentLevel() noexcept {
  int level = g_level.load(std::memory_order_relaxed);
  if (level != kLevelUnset) return level;
  LogLevel parsed = LogLevel::Warning;
  if (const char* env = std::getenv("CORVEX_LOG")) ParseLogLevel(env, parsed);
  int expected = kLevelUnset;
  g_level.compare_exchange_strong(expected, static_cast<int>(parsed));
  return g_level.load(std::memory_order_relaxed);
}

void LogFormatted(LogLevel level, const char* format, va_list args) noexcept {
  if (!LogEnabled(level)) return;
  char text[4001];
  int n = std::vsnprintf(text, sizeof text, format, args);
  if (n < 0) return;
  LogMessage(level, std::string_view(text, static_cast<std::size_t>(n) < sizeof text ? n : sizeof text - 1));
}

}  // namespace

void SetLogSink(LogSink sink) {
  std::lock_guard lock(SinkMutex());
  Sink() = std::move(sink);
}

void SetLogLevel(LogLevel level) { g_level.store(static_cast<int>(level), std::memory_order_relaxed); }

void ResetLogLevel() noexcept { g_level.store(kLevelUnset, std::memory_order_relaxed); }

LogLevel GetLogLevel() noexcept { return static_cast<LogLevel>(CurrentLevel()); }

bool LogEnabled(LogLevel level) noexcept {
  return level != LogLevel::Off && static_cast<int>(level) <= CurrentLevel();
}

bool ParseLogLevel(std::string_view name, LogLevel& level) noexcept {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static constexpr struct {
    const char* name;
    LogLevel level;
  } kNames[] = {{"off", LogLevel::Off},         {"none", LogLevel::Off},   {"error", LogLevel::Error},
                {"warning", LogLevel::Warning}, {"warn", LogLevel::Warning}, {"info", LogLevel::Info},
                {"debug", LogLevel::Debug}};
  for (const auto& entry : kNames) {
    if (lower == entry.name) {
      level = entry.level;
      return true;
    }
  }
  return false;
}

const char* LogLevelName(LogLevel level) noexcept {
  switch (level) {
    case LogLevel::Off: return "off";
    case LogLevel::Error: return "error";
    case LogLevel::Warning: return "warning";
    case LogLevel::Info: return "info";
    case LogLevel::Debug: return "debug";
  }
  return "?";
}

void LogMessage(LogLevel level, std::string_view message) noexcept {
  if (!LogEnabled(level)) return;
  std::lock_guard lock(SinkMutex());
  if (Sink()) {
    try {
      Sink()(level, message);
    } catch (...) {
      // A sink that fails must not turn a report into a new failure.
    }
    return;
  }
  std::fprintf(stderr, "corvex: %s: %.*s\n", LogLevelName(level), static_cast<int>(message.size()), message.data());
}

#define CVX_LOG_FORM(name, level)         \
  void name(const char* format, ...) noexcept { \
    va_list args;                         \
    va_start(args, format);               \
    LogFormatted(level, format, args);    \
    va_end(args);                         \
  }
CVX_LOG_FORM(LogError, LogLevel::Error)
CVX_LOG_FORM(LogWarning, LogLevel::Warning)
CVX_LOG_FORM(LogInfo, LogLevel::Info)
CVX_LOG_FORM(LogDebug, LogLevel::Debug)
#undef CVX_LOG_FORM

}  // namespace cvx
