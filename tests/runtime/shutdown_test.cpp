// The shutdown steps and the stop request. RunShutdown runs once per process,
// so each case runs in a forked child and reports through a pipe.
#include "corvex/runtime/shutdown.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "corvex/runtime/log.h"

namespace cvx {
namespace {

struct ChildResult {
  int status = -1;  // exit status, or -1 when the child did not exit
  std::string output;
};

int reportFd = -1;
void Report(const std::string& text) {
  ssize_t ignored = write(reportFd, text.data(), text.size());
  (void)ignored;
}

template <class Body>
ChildResult InChild(Body body) {
  int fds[2];
  ChildResult result;
  if (pipe(fds) != 0) return result;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    reportFd = fds[1];
    body();
    _exit(0);
  }
  close(fds[1]);
  char buffer[256];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

TEST(Shutdown, StepsRunOnceNewestFirstAndAFailingStepDoesNotStopTheRest) {
  ChildResult r = InChild([] {
    SetLogSink([](LogLevel, std::string_view message) { Report("log: " + std::string(message) + "\n"); });
    AddShutdownStep("a", [] { Report("a\n"); });
    AddShutdownStep("b", [] { throw std::runtime_error("disk gone"); });
    AddShutdownStep("c", [] {
      Report("c\n");
      AddShutdownStep("late", [] { Report("late\n"); });  // too late to run
    });
    Report(ShutdownStarted() ? "started\n" : "not started\n");
    RunShutdown();
    RunShutdown();
    Report(ShutdownStarted() ? "started\n" : "not started\n");
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "not started\nc\nlog: Shutdown step \"b\" failed: disk gone\na\nstarted\n");
}

TEST(Shutdown, AStopSignalIsOnlyNotedUntilTheNextPoll) {
  ChildResult r = InChild([] {
    InstallStopSignalHandlers();
    AddShutdownStep("report", [] { Report("shutdown with signal " + std::to_string(StopSignal()) + "\n"); });
    ExitIfStopRequested();  // nothing asked yet: returns
    Report(StopRequested() ? "requested\n" : "not requested\n");
    raise(SIGHUP);
    Report(StopRequested() ? "requested\n" : "not requested\n");
    ExitIfStopRequested();
    Report("still running\n");
  });
  EXPECT_EQ(r.status, 128 + SIGHUP);
  EXPECT_EQ(r.output, "not requested\nrequested\nshutdown with signal 1\n");
}

}  // namespace
}  // namespace cvx
