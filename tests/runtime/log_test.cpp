#include <gtest/gtest.h>

#include <cstdlib>
#include <stdlib.h>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "corvex/runtime/log.h"

namespace cvx {
namespace {

// Captures what reaches the sink, and puts back the default sink and level.
class LogCapture {
 public:
  LogCapture() : saved_level_(GetLogLevel()) {
    SetLogSink([this](LogLevel level, std::string_view text) { lines.emplace_back(level, std::string(text)); });
  }
  ~LogCapture() {
    SetLogSink(nullptr);
    SetLogLevel(saved_level_);
  }
  std::vector<std::pair<LogLevel, std::string>> lines;

 private:
  LogLevel saved_level_;
};

TEST(Log, LevelsFilterAndTheSinkReceivesFormattedLines) {
  LogCapture capture;
  SetLogLevel(LogLevel::Warning);
  LogError("e%d", 1);
  LogWarning("w %s", "two");
  LogInfo("dropped");
  LogDebug("dropped");
  ASSERT_EQ(capture.lines.size(), 2u);
  EXPECT_EQ(capture.lines[0], std::make_pair(LogLevel::Error, std::string("e1")));
  EXPECT_EQ(capture.lines[1], std::make_pair(LogLevel::Warning, std::string("w two")));

  SetLogLevel(LogLevel::Debug);
  LogDebug("now");
  EXPECT_EQ(capture.lines.back().second, "now");
  SetLogLevel(LogLevel::Off);
  LogError("silent");
  EXPECT_EQ(capture.lines.size(), 3u);
  EXPECT_FALSE(LogEnabled(LogLevel::Error));
}

TEST(Log, LongMessagesAreCutNotOverrun) {
  LogCapture capture;
  SetLogLevel(LogLevel::Warning);
  std::string huge(10000, 'x');
  LogWarning("%s", huge.c_str());
  ASSERT_EQ(capture.lines.size(), 1u);
  EXPECT_EQ(capture.lines[0].second.size(), 4000u);
}

TEST(Log, ASinkThatThrowsDoesNotEscape) {
  LogCapture capture;
  SetLogSink([](LogLevel, std::string_view) { throw std::runtime_error("sink broke"); });
  EXPECT_NO_THROW(LogError("x"));
}

TEST(Log, LevelNamesParseAsTheEnvironmentGivesThem) {
  LogLevel level = LogLevel::Info;
  EXPECT_TRUE(ParseLogLevel("DEBUG", level));
  EXPECT_EQ(level, LogLevel::Debug);
  EXPECT_TRUE(ParseLogLevel("off", level));
  EXPECT_EQ(level, LogLevel::Off);
  EXPECT_TRUE(ParseLogLevel("Warning", level));
  EXPECT_EQ(level, LogLevel::Warning);
  EXPECT_FALSE(ParseLogLevel("loud", level));
  EXPECT_EQ(level, LogLevel::Warning);
  EXPECT_STREQ(LogLevelName(LogLevel::Error), "error");
}

TEST(Log, TheEnvironmentSetsTheLevelUntilTheProgramDoes) {
  LogCapture capture;
  setenv("CORVEX_LOG", "error", 1);
  ResetLogLevel();
  EXPECT_EQ(GetLogLevel(), LogLevel::Error);
  LogWarning("dropped");
  EXPECT_TRUE(capture.lines.empty());
  setenv("CORVEX_LOG", "nonsense", 1);
  ResetLogLevel();
  EXPECT_EQ(GetLogLevel(), LogLevel::Warning);
  unsetenv("CORVEX_LOG");
  ResetLogLevel();
}

}  // namespace
}  // namespace cvx
