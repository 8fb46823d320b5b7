// Stop signals end a program cleanly: the helper program (stophelper/) starts
// a child, is signalled, and must exit with 128 + the signal number leaving
// no child behind. This test process is a child subreaper, so a child the
// helper leaves behind becomes ours and can be seen (and cleaned up).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Helper {
  pid_t pid = -1;
  pid_t child = -1;  // the helper's "sleep 60"
  int output = -1;   // the helper's standard output
};

// Starts the helper in mode; ignoredSignal, when not 0, is ignored from the
// start, as nohup does.
Helper StartHelper(const char* mode, int ignoredSignal = 0) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  int fds[2];
  Helper h;
  if (pipe(fds) != 0) return h;
  std::fflush(nullptr);
  h.pid = fork();
  if (h.pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    if (ignoredSignal) signal(ignoredSignal, SIG_IGN);
    execl(CVX_STOP_HELPER, CVX_STOP_HELPER, mode, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  h.output = fds[0];
  std::string line;
  char c;
  while (read(h.output, &c, 1) == 1 && c != '\n') line += c;
  std::sscanf(line.c_str(), "child %d", &h.child);
  return h;
}

// The rest of the helper's output, once it has ended.
std::string RestOfOutput(Helper& h) {
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(h.output, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  close(h.output);
  return text;
}

// The helper's exit status (128 + signal for a death by signal), or -1 when it
// still runs after the wait.
int WaitForExit(pid_t pid, std::chrono::milliseconds wait) {
  const auto end = std::chrono::steady_clock::now() + wait;
  do {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 1000 + WTERMSIG(status);  // killed by the signal, not exited
    }
    std::this_thread::sleep_for(10ms);
  } while (std::chrono::steady_clock::now() < end);
  return -1;
}

// True when the process is gone (reaped by its parent, or by us as the
// subreaper it fell to). A survivor is killed so that no test leaves it.
bool ChildIsGone(pid_t pid) {
  const auto end = std::chrono::steady_clock::now() + 5s;
  do {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(10ms);
  } while (std::chrono::steady_clock::now() < end);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

TEST(StopSignals, EachRunsTheShutdownStepsAndExitsWith128PlusTheSignal) {
  for (int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    Helper h = StartHelper("poll");
    ASSERT_GT(h.child, 0) << number;
    kill(h.pid, number);
    EXPECT_EQ(WaitForExit(h.pid, 10s), 128 + number) << number;
    // Newest step first: the child is still listed, then ended by the
    // process module's step, before the oldest step runs.
    EXPECT_EQ(RestOfOutput(h), "step first, children 1\nstep last, children 0\n") << number;
    EXPECT_TRUE(ChildIsGone(h.child)) << number;
  }
}

// A game's own loop polls through PumpSystem and FlipFrame: the screen is
// given back before the steps of the modules below it run.
TEST(StopSignals, AMainLoopOfFramesEndsThroughItsPollsAndGivesBackTheScreen) {
  for (int number : {SIGTERM, SIGINT}) {
    Helper h = StartHelper("frames");
    ASSERT_GT(h.child, 0) << number;
    kill(h.pid, number);
    EXPECT_EQ(WaitForExit(h.pid, 10s), 128 + number) << number;
    EXPECT_EQ(RestOfOutput(h), "step first, children 1\nstep last, children 0\nstep screen, open 0\n") << number;
    EXPECT_TRUE(ChildIsGone(h.child)) << number;
  }
}

TEST(StopSignals, WithoutAPollTheWatchdogEndsTheProgramAndItsChild) {
  Helper h = StartHelper("nopoll");
  ASSERT_GT(h.child, 0);
  kill(h.pid, SIGTERM);
  EXPECT_EQ(WaitForExit(h.pid, 10s), 128 + SIGTERM);
  EXPECT_EQ(RestOfOutput(h), "");  // no orderly shutdown ran
  EXPECT_TRUE(ChildIsGone(h.child));
}

TEST(StopSignals, ASecondSignalOfTheSameKindEndsTheProgramAtOnce) {
  // The watchdog is blocked: only the second SIGINT can end the helper. A
  // stop signal of another kind does not, nor does one ignored from the start.
  Helper h = StartHelper("stuck", SIGHUP);
  ASSERT_GT(h.child, 0);
  kill(h.pid, SIGINT);
  kill(h.pid, SIGHUP);
  kill(h.pid, SIGTERM);
  EXPECT_EQ(WaitForExit(h.pid, 300ms), -1);
  kill(h.pid, SIGINT);
  EXPECT_EQ(WaitForExit(h.pid, 10s), 128 + SIGINT);
  EXPECT_EQ(RestOfOutput(h), "");
  EXPECT_TRUE(ChildIsGone(h.child));
}

}  // namespace
