#include "corvex/process/childprocess.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "corvex/runtime/list.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/shutdown.h"
#include "corvex/stream/url.h"

extern char** environ;

namespace cvx {

namespace {

// Every child launched and not yet terminated.
Ref<TList> processList;

// The processes whose parent is pid, from /proc/<n>/stat. The command name in
// that file is in parentheses and may itself hold blanks and ')', so the
// fields are read after the last ')'.
std::vector<pid_t> DirectChildren(pid_t parent) {
  std::vector<pid_t> children;
  DIR* proc = ::opendir("/proc");
  if (!proc) return children;
  while (dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long id = std::strtol(entry->d_name, &end, 10);
    if (id <= 0 || *end != '\0') continue;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", id);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    char text[1024];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) continue;
    text[n] = '\0';
    const char* close = std::strrchr(text, ')');
    if (!close) continue;
    char state = 0;
    long ppid = 0;
    if (std::sscanf(close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent) {
      children.push_back(static_cast<pid_t>(id));
    }
  }
  ::closedir(proc);
  return children;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

void CloseAll(int (&fds)[6]) {
  for (int& fd : fds) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void TerminateAllAtExit() {
  try {
    TChildProcess::TerminateAll();
  } catch (...) {
    // Nothing can be reported this late; the children are killed as far as
    // the framework still works.
  }
}

}  // namespace

std::vector<std::string> SplitCommandLine(const String& command) {
  const std::string text = command.ToStd();
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
      word += text[++i];
      inWord = true;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty argument
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

void TChildProcess::Poll() {
  if (pid_ == 0 || exited_) return;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    exited_ = true;
    exitCode_ = ExitCodeOf(status);
  } else if (r < 0) {
    // Reaped elsewhere (SIGCHLD ignored, for one): it no longer runs, and
    // its id may already belong to another process.
    exited_ = true;
  }
  if (exited_) UntrackChildProcess(pid_);  // reaped: its id may be reused
}

int TChildProcess::IsRunning() {
  if (pid_ == 0) return 0;
  Poll();
  return exited_ ? 0 : 1;
}

void TChildProcess::CloseStreams() {
  if (standardStream) standardStream->Close();
  if (errorStream) errorStream->Close();
  standardStream = nullptr;
  errorStream = nullptr;
}

int TChildProcess::Terminate() {
  Ref<TChildProcess> self(this);  // the list may hold the last reference
  if (processList) processList->Erase(this);
  if (pid_ == 0) return 0;
  Poll();
  int result = 0;
  if (!exited_) {
    // Stopped, the child cannot start more children while its own are
    // found and killed; a stopped process still dies of SIGKILL.
    ::kill(pid_, SIGSTOP);
    for (pid_t child : DirectChildren(pid_)) ::kill(child, SIGKILL);
    result = ::kill(pid_, SIGKILL) == 0 ? 1 : 0;
    int status = 0;
    pid_t r;
    do {
      r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) exitCode_ = ExitCodeOf(status);
  }
  UntrackChildProcess(pid_);
  pid_ = 0;
  exited_ = false;
  return result;
}

Ref<TChildProcess> TChildProcess::Launch(const String& command, int flags) {
  (void)flags;  // no console exists here: every child runs without a terminal
  InitChildProcesses();
  const std::vector<std::string> words = SplitCommandLine(command);
  if (words.empty()) {
    LogWarning("cannot start a process: the command line names no program");
    return nullptr;
  }

  // 0/1: child's output (read, write); 2/3: child's input; 4/5: child's error.
  int fds[6] = {-1, -1, -1, -1, -1, -1};
  if (::pipe2(fds, O_CLOEXEC) < 0 || ::pipe2(fds + 2, O_CLOEXEC) < 0 || ::pipe2(fds + 4, O_CLOEXEC) < 0) {
    const int error = errno;
    CloseAll(fds);
    LogWarning("cannot start \"%s\": no pipes for it: %s", words[0].c_str(), std::strerror(error));
    return nullptr;
  }

  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // dup2 clears close-on-exec on the copies; every other pipe end closes at exec.
  posix_spawn_file_actions_adddup2(&actions, fds[2], 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[5], 2);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int failed = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    CloseAll(fds);
    LogWarning("cannot start \"%s\": %s", words[0].c_str(), std::strerror(failed));
    return nullptr;
  }
  ::close(fds[1]);
  ::close(fds[2]);
  ::close(fds[5]);

  Ref<TChildProcess> process(new TChildProcess());
  process->command = command;
  process->pid_ = pid;
  TrackChildProcess(pid);
  process->standardStream = TPipeByteStream::Wrap(fds[0], fds[3]);
  process->errorStream = TPipeByteStream::Wrap(fds[4], -1);
  if (!processList) processList = NewList();
  processList->PushBack(process);
  return process;
}

void TChildProcess::TerminateAll() {
  if (!processList) return;
  ObjectArray items = processList->ToItems();
  for (Ref<TObject>& item : *items) {
    if (auto* process = As<TChildProcess>(item.Get())) {
      process->Terminate();
      process->CloseStreams();
    }
  }
}

Ref<TChildProcess> LaunchChildProcess(const String& command, int flags) {
  return TChildProcess::Launch(command, flags);
}
int ChildProcessIsRunning(TChildProcess* process) { return Ref<TChildProcess>(process)->IsRunning(); }
void CloseChildProcessStreams(TChildProcess* process) { Ref<TChildProcess>(process)->CloseStreams(); }
int TerminateChildProcess(TChildProcess* process) { return Ref<TChildProcess>(process)->Terminate(); }
void TerminateAllChildProcesses() { TChildProcess::TerminateAll(); }
int ChildProcessCount() { return processList ? processList->Length() : 0; }

void InitChildProcesses() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
  InitList();
  std::atexit(TerminateAllAtExit);
  AddShutdownStep("end the child processes", TerminateAllAtExit);
}

}  // namespace cvx
