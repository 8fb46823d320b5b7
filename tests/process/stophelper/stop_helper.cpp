// The program that the stop-signal tests send signals to. It starts a child
// ("sleep 60"), prints "child <pid>", then, by its argument:
//   poll    polls the stop request every few milliseconds, as a main loop does;
//   nopoll  never polls, so only the watchdog can end it;
//   stuck   never polls and blocks the watchdog, so only a second signal can;
//   frames  opens a headless screen and runs a main loop of FlipFrame and
//           PumpSystem, the polls a game makes.
// Its shutdown steps print what they see, in the order they run.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "corvex/graphics/graphics.h"
#include "corvex/platform/choice.h"
#include "corvex/process/childprocess.h"
#include "corvex/system/system.h"
#include "corvex/runtime/shutdown.h"
#include "corvex/runtime/startup.h"

int main(int argc, char** argv) {
  using namespace cvx;
  RuntimeStartup(argc, argv);
  const char* mode = argc > 1 ? argv[1] : "poll";
  const bool frames = std::strcmp(mode, "frames") == 0;
  if (frames) {
    // Added first, so it runs after the graphics module's own step.
    AddShutdownStep("screen", [] { std::printf("step screen, open %d\n", OpenedGraphics() ? 1 : 0); });
    InitPlatform(PlatformHeadless, true);
    if (!OpenGraphics(320, 240, 0, 60, 0)) return 4;
  }
  AddShutdownStep("last", [] { std::printf("step last, children %d\n", ChildProcessCount()); });
  InitChildProcesses();
  Ref<TChildProcess> child = LaunchChildProcess("sleep 60"_s, 0);
  if (!child) return 2;
  AddShutdownStep("first", [] { std::printf("step first, children %d\n", ChildProcessCount()); });
  if (std::strcmp(mode, "stuck") == 0) {
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_BLOCK, &alarmOnly, nullptr);
  }
  std::printf("child %d\n", static_cast<int>(child->ProcessId()));
  std::fflush(stdout);
  const bool polls = std::strcmp(mode, "poll") == 0;
  for (int i = 0; i < 6000; ++i) {  // a minute at most
    if (frames) {
      PumpSystem();
      FlipFrame(-1);
      continue;
    }
    if (polls) ExitIfStopRequested();
    usleep(10000);
  }
  return 3;
}
