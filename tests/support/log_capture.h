// Captures what reaches the log's sink while it lives, at the warning level
// or above whatever CORVEX_LOG says, and puts back the default sink and the
// level it found.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corvex/runtime/log.h"

namespace cvx::test {

class LogCapture {
 public:
  explicit LogCapture(LogLevel level = GetLogLevel()) : saved_level_(GetLogLevel()) {
    SetLogLevel(level);
    SetLogSink([this](LogLevel at, std::string_view text) { lines.emplace_back(at, std::string(text)); });
  }
  ~LogCapture() {
    SetLogSink(nullptr);
    SetLogLevel(saved_level_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The warnings' texts, in order.
  std::vector<std::string> Warnings() const {
    std::vector<std::string> texts;
    for (const auto& [at, text] : lines)
      if (at == LogLevel::Warning) texts.push_back(text);
    return texts;
  }

  std::vector<std::pair<LogLevel, std::string>> lines;

 private:
  LogLevel saved_level_;
};

}  // namespace cvx::test
