#include "corvex/runtime/startup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "corvex/runtime/shutdown.h"

#if defined(__SANITIZE_ADDRESS__)
#define CVX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CVX_SANITIZED 1
#endif
#endif

namespace cvx {
namespace {

#ifdef CVX_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

bool started = false;
// Kept as plain Refs: these globals live until the program ends.
Ref<TStringBody> appDir, appFile, launchDir, appTitle;
Array<String> appArgs;

std::string Slashed(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// Throwing out of a signal handler is not safe, so the crash handler reports
// the signal with async-signal-safe calls and ends the process.
void OnSignal(int number) {
  char text[64];
  int n = 0;
  const char* head = "Received Signal ";
  while (head[n]) {
    text[n] = head[n];
    ++n;
  }
  char digits[12];
  int d = 0;
  unsigned value = static_cast<unsigned>(number);
  do {
    digits[d++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  while (d) text[n++] = digits[--d];
  text[n++] = '\n';
  ssize_t ignored = write(STDERR_FILENO, text, static_cast<std::size_t>(n));
  (void)ignored;
  _exit(128 + number);
}

void InstallSignalHandlers() {
  // The stop signals (SIGTERM and the others) are shutdown.h's.
  for (int number : {SIGILL, SIGSEGV, SIGABRT}) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(number, &action, nullptr);
  }
}

}  // namespace

void RuntimeStartup(int argc, char** argv) {
  if (started) return;
  started = true;
  // Under the sanitizers the sanitizer's own reports are the useful ones.
  if (!kSanitized) InstallSignalHandlers();
  InstallStopSignalHandlers();
  RecordMainThreadStack();

  char buffer[PATH_MAX];
  std::string file;
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) {
    buffer[n] = 0;
    file = buffer;
  } else if (argc > 0 && argv[0]) {
    file = argv[0];
  }
  if (file.size() > 1023) file.resize(1023);
  file = Slashed(file);
  std::string dir;
  std::size_t slash = file.rfind('/');
  if (slash != std::string::npos) {
    // A drive root keeps its slash; so does the file system's root.
    std::size_t keep = slash > 0 && file[slash - 1] == ':' ? slash + 1 : slash;
    dir.assign(file, 0, keep == 0 ? 1 : keep);
  }

  std::string launch = getcwd(buffer, sizeof buffer) ? Slashed(buffer) : std::string();
  launchDir = String(launch).Body();
  appDir = String(dir).Body();
  appFile = String(file).Body();
  appTitle = "Corvex Application"_s.Body();
  appArgs = NewArray<String>(argc > 0 ? argc : 0);
  for (int i = 0; i < argc; ++i) (*appArgs)[i] = String(argv[i] ? argv[i] : "");
  if (!dir.empty() && chdir(dir.c_str()) != 0) {
    // Staying in the launch directory is harmless; nothing is read relative to it.
  }
}

bool RuntimeStarted() noexcept { return started; }

String AppDir() { return String(appDir); }
String AppFile() { return String(appFile); }
String LaunchDir() { return String(launchDir); }
String AppTitle() { return appTitle ? String(appTitle) : "Corvex Application"_s; }
void SetAppTitle(const String& title) { appTitle = title.Body(); }
Array<String> AppArgs() { return appArgs ? appArgs : NewArray<String>(0); }

void InitRuntimeErrors() {}

void ReportUncaughtError(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

int RunGuarded(int (*fn)(int, char**), int argc, char** argv) {
  try {
    return fn(argc, argv);
  } catch (const std::exception& error) {
    ReportUncaughtError(error.what());
  } catch (...) {
    ReportUncaughtError("Unhandled Memory Exception Error");
  }
  return 1;
}

}  // namespace cvx
