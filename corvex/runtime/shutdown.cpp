#include "corvex/runtime/shutdown.h"

#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "corvex/runtime/log.h"

namespace cvx {
namespace {

struct ShutdownStep {
  std::string name;
  std::function<void()> run;
};

std::mutex stepsLock;
std::vector<ShutdownStep>& Steps() {
  static auto* steps = new std::vector<ShutdownStep>();  // outlives every static destructor
  return *steps;
}
std::atomic<bool> shutdownStarted{false};

// Written by the signal handlers, read by the main loop.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the signal handlers need lock-free atomics");
std::atomic<pid_t> trackedChildren[kMaxTrackedChildren];

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

void WriteText(const char* text) noexcept {
  std::size_t n = 0;
  while (text[n]) ++n;
  ssize_t ignored = write(STDERR_FILENO, text, n);
  (void)ignored;
}

// Only async-signal-safe calls: kill, write and _exit.
[[noreturn]] void EndAtOnce(int number) noexcept {
  for (std::atomic<pid_t>& slot : trackedChildren) {
    const pid_t pid = slot.load();
    if (pid > 0) kill(pid, SIGKILL);
  }
  WriteText("Stopped without a clean shutdown\n");
  _exit(128 + number);
}

void Install(int number, void (*handler)(int), bool onlyOverDefault) noexcept;
void OnWatchdog(int);

void OnStopSignal(int number) {
  const int savedErrno = errno;
  int expected = 0;
  if (stopSignal.compare_exchange_strong(expected, number)) {
    // The watchdog: the main loop must poll by then. Its handler goes in only
    // now, so that a program's (or a test driver's) own use of SIGALRM is
    // left alone until a stop is asked for.
    Install(SIGALRM, OnWatchdog, false);
    alarm(kStopPollSeconds);
  } else if (expected == number) {
    EndAtOnce(number);
  }
  errno = savedErrno;
}

void OnWatchdog(int) {
  const int number = stopSignal.load();
  EndAtOnce(number != 0 ? number : SIGALRM);
}

// sigaction and the signal-set calls are async-signal-safe.
void Install(int number, void (*handler)(int), bool onlyOverDefault) noexcept {
  struct sigaction current {};
  if (sigaction(number, nullptr, &current) != 0) return;
  // A signal ignored at start (nohup) or handled by a host (a fuzzing
  // driver) keeps that.
  const bool isDefault = !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL;
  if (onlyOverDefault && !isDefault) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int stop : kStopSignals) sigaddset(&action.sa_mask, stop);
  sigaddset(&action.sa_mask, SIGALRM);
  action.sa_flags = SA_RESTART;  // a blocking call carries on; the watchdog covers a loop that never polls
  sigaction(number, &action, nullptr);
}

}  // namespace

void AddShutdownStep(const char* name, std::function<void()> step) {
  std::lock_guard<std::mutex> hold(stepsLock);
  Steps().push_back({name ? name : "", std::move(step)});
}

void RunShutdown() noexcept {
  if (shutdownStarted.exchange(true)) return;
  std::vector<ShutdownStep> steps;
  {
    std::lock_guard<std::mutex> hold(stepsLock);
    steps.swap(Steps());
  }
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    try {
      if (step->run) step->run();
    } catch (const std::exception& error) {
      LogError("Shutdown step \"%s\" failed: %s", step->name.c_str(), error.what());
    } catch (...) {
      LogError("Shutdown step \"%s\" failed", step->name.c_str());
    }
  }
}

bool ShutdownStarted() noexcept { return shutdownStarted.load(); }

bool StopRequested() noexcept { return stopSignal.load() != 0; }
int StopSignal() noexcept { return stopSignal.load(); }

void ExitIfStopRequested() {
  const int number = stopSignal.load();
  // A step that polls (shutting the screen pumps the system once more) must
  // not end the process before the remaining steps have run.
  if (number == 0 || shutdownStarted.load()) return;
  alarm(kShutdownSeconds);  // the poll came; now the shutdown itself has a deadline
  LogInfo("Stopping on signal %d", number);
  RunShutdown();
  std::fflush(nullptr);
  // Static destructors and atexit handlers are not run: the steps above are
  // the orderly end, and the process may be deep inside a library's loop.
  _exit(128 + number);
}

void InstallStopSignalHandlers() noexcept {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  for (int number : kStopSignals) Install(number, OnStopSignal, true);
}

void TrackChildProcess(pid_t pid) noexcept {
  if (pid <= 0) return;
  for (std::atomic<pid_t>& slot : trackedChildren) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) return;
  }
}

void UntrackChildProcess(pid_t pid) noexcept {
  if (pid <= 0) return;
  for (std::atomic<pid_t>& slot : trackedChildren) {
    pid_t expected = pid;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

}  // namespace cvx
