#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
  int status = -1;
  std::vector<std::string> lines;  // standard error
};

// Runs a shell script and collects what it prints (the demo's standard error
// goes there) and its exit status.
Outcome RunScript(const std::string& script) {
  Outcome outcome;
  FILE* pipe = popen(script.c_str(), "r");
  if (!pipe) return outcome;
  std::string text;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) outcome.lines.push_back(line);
  return outcome;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The leak checker of a sanitizer build reports the suppressions it used on
// standard error when the program ends: keep that out of the counted lines.
const std::string kDemo = "LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0 " CORVEX_DEMO_PROGRAM;

TEST(DemoWithoutAScreen, NoDisplaySaysSoInOneLineWithTheReason) {
  Outcome run = RunScript("env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER " + kDemo +
                          " 2>&1 >/dev/null");
  EXPECT_NE(run.status, 0);
  ASSERT_EQ(run.lines.size(), 1u) << Joined(run.lines);
  EXPECT_NE(run.lines[0].find("no display could be opened: "), std::string::npos) << run.lines[0];
  EXPECT_NE(run.lines[0].find("DISPLAY"), std::string::npos) << run.lines[0];
}

TEST(DemoWithoutAScreen, AnEightBitServerSaysSoInOneLineWithTheReason) {
  // Xvfb picks a free display number and writes it to descriptor 3.
  std::string script =
      "dir=$(mktemp -d) && exec 3>\"$dir/display\" && "
      "{ Xvfb -displayfd 3 -screen 0 1024x768x8 -nolisten tcp >/dev/null 2>&1 & } && pid=$! && "
      "for i in $(seq 100); do [ -s \"$dir/display\" ] && break; sleep 0.1; done; "
      "DISPLAY=:$(cat \"$dir/display\") env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER " +
      kDemo + " 2>&1 >/dev/null; status=$?; kill $pid; rm -rf \"$dir\"; exit $status";
  Outcome run = RunScript(script);
  EXPECT_NE(run.status, 0);
  ASSERT_EQ(run.lines.size(), 1u) << Joined(run.lines);
  EXPECT_NE(run.lines[0].find("could be "), std::string::npos) << run.lines[0];
  EXPECT_EQ(run.lines[0].find("Null object"), std::string::npos) << run.lines[0];
}

}  // namespace
