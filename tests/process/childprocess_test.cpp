// Child processes run with /bin/sh: pipes both ways, exit codes, tree
// termination, failed launches, and the clean-up at program exit.
#include "corvex/process/childprocess.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/log_capture.h"

namespace cvx {
namespace {

// Polls until the condition holds; the bound only keeps a broken build from
// hanging the suite.
bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The next line of the stream, waiting for it.
std::string NextLine(TPipeByteStream* stream) {
  String line;
  WaitFor([&] {
    line = stream->ReadTextLine();
    return !line.IsEmpty();
  });
  return line.ToStd();
}

// The state letter of a process from /proc ('Z' zombie), or 0 when gone.
char ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return 0;
  return text[close + 2];
}
bool Alive(pid_t pid) {
  const char state = ProcessState(pid);
  return state != 0 && state != 'Z' && state != 'X';
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) ++n;
    ::closedir(dir);
  }
  return n;
}

TEST(CommandLine, WordsAndQuotes) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("  /bin/echo  a\tb "), (Words{"/bin/echo", "a", "b"}));
  EXPECT_EQ(SplitCommandLine(R"(sh -c "echo 'x y'" "")"), (Words{"sh", "-c", "echo 'x y'", ""}));
  EXPECT_EQ(SplitCommandLine(R"(a\"b c\\d e\f)"), (Words{"a\"b", "c\\d", "e\\f"}));
  EXPECT_EQ(SplitCommandLine(R"(x"y z"w)"), (Words{"xy zw"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(ChildProcess, OutputErrorAndExitCode) {
  Ref<TChildProcess> child = TChildProcess::Launch(R"(/bin/sh -c "echo hello; echo oops >&2; exit 3")", 0);
  ASSERT_TRUE(child);
  EXPECT_EQ(NextLine(child->standardStream.Get()), "hello");
  EXPECT_EQ(NextLine(child->errorStream.Get()), "oops");
  ASSERT_TRUE(WaitFor([&] { return child->IsRunning() == 0; }));
  EXPECT_EQ(child->ExitCode(), 3);
  EXPECT_EQ(child->command, String(R"(/bin/sh -c "echo hello; echo oops >&2; exit 3")"));
  // Exited but still listed: Terminate forgets it and has nothing to kill.
  const int listed = ChildProcessCount();
  EXPECT_EQ(child->Terminate(), 0);
  EXPECT_EQ(ChildProcessCount(), listed - 1);
  EXPECT_EQ(child->IsRunning(), 0);
  child->CloseStreams();
  EXPECT_FALSE(child->standardStream);
  EXPECT_FALSE(child->errorStream);
}

TEST(ChildProcess, InputRoundTripThroughCat) {
  Ref<TChildProcess> child = LaunchChildProcess("cat", 1);  // found in PATH
  ASSERT_TRUE(child);
  TPipeByteStream* pipe = child->standardStream.Get();
  EXPECT_EQ(pipe->ReadTextLine(), String());  // nothing written yet: no wait
  EXPECT_TRUE(pipe->WriteTextLine("first"));
  EXPECT_EQ(NextLine(pipe), "first");
  pipe->WriteText("bytes\n");
  char buffer[6] = {};
  EXPECT_EQ(pipe->ReadExact(buffer, 6), 6);
  EXPECT_EQ(std::string(buffer, 6), "bytes\n");
  EXPECT_EQ(child->IsRunning(), 1);
  EXPECT_EQ(child->Terminate(), 1);
  EXPECT_EQ(child->IsRunning(), 0);
  EXPECT_EQ(child->ExitCode(), 128 + SIGKILL);
  EXPECT_EQ(child->Terminate(), 0);  // the record is gone
  // The child's end is closed: reading reaches the end, writing fails.
  EXPECT_EQ(pipe->Read(buffer, 1), 0);
  EXPECT_EQ(pipe->Write("x", 1), 0);
  child->CloseStreams();
}

TEST(ChildProcess, LineWithoutEndWaitsForItsLineFeed) {
  // The child holds back the LF of "def" until it reads a line from us.
  Ref<TChildProcess> child = TChildProcess::Launch(R"(/bin/sh -c "printf 'abc\r\ndef'; read x; printf '\n'")", 0);
  ASSERT_TRUE(child);
  TPipeByteStream* pipe = child->standardStream.Get();
  EXPECT_EQ(NextLine(pipe), "abc");
  ASSERT_TRUE(WaitFor([&] {
    EXPECT_EQ(pipe->ReadTextLine(), String());
    return pipe->Buffered() == 3;
  }));
  EXPECT_EQ(pipe->ReadTextLine(), String());
  pipe->WriteText("go\n");
  EXPECT_EQ(NextLine(pipe), "def");
  EXPECT_TRUE(WaitFor([&] { return child->IsRunning() == 0; }));
  EXPECT_EQ(child->ExitCode(), 0);
  child->Terminate();
  child->CloseStreams();
}

TEST(ChildProcess, ExitedChildsOutputEndsAndItsInputFails) {
  // SIGPIPE keeps its default action, which would end this program.
  const auto previous = ::signal(SIGPIPE, SIG_DFL);
  Ref<TChildProcess> child = TChildProcess::Launch(R"(/bin/sh -c "echo first; printf 'no line end'")", 0);
  ASSERT_TRUE(child);
  TPipeByteStream* pipe = child->standardStream.Get();
  ASSERT_TRUE(WaitFor([&] { return child->IsRunning() == 0; }));
  // Every line comes, the last one without its line feed too, and then the end.
  std::vector<std::string> lines;
  for (int i = 0; i < 100 && !pipe->AtEnd(); ++i) {
    const String line = pipe->ReadTextLine();
    if (!line.IsEmpty()) lines.push_back(line.ToStd());
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "no line end"}));
  EXPECT_EQ(pipe->AtEnd(), 1);
  EXPECT_EQ(child->errorStream->AtEnd(), 1);
  // At the end, reads give nothing at once; ReadExact keeps the buffer.
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(pipe->Read(buffer, 4), 0);
  EXPECT_EQ(pipe->ReadExact(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(pipe->ReadTextLine(), String());
  // Writing to it fails instead of raising SIGPIPE.
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(pipe->Write(big.data(), static_cast<std::int32_t>(big.size())), 0);
  EXPECT_THROW(pipe->WriteExact("x", 1), TStreamWriteError);
  child->Terminate();
  child->CloseStreams();

  // A running child that has closed its input, and one whose output is still open.
  child = TChildProcess::Launch(R"(/bin/sh -c "exec 0<&-; echo closed; exec sleep 30")", 0);
  ASSERT_TRUE(child);
  pipe = child->standardStream.Get();
  EXPECT_EQ(NextLine(pipe), "closed");
  EXPECT_EQ(pipe->Write("data\n", 5), 0);
  EXPECT_EQ(child->IsRunning(), 1);
  EXPECT_EQ(pipe->AtEnd(), 0);
  EXPECT_EQ(pipe->ReadTextLine(), String());
  EXPECT_EQ(child->Terminate(), 1);
  child->CloseStreams();
  // Without a read end there is nothing to read.
  EXPECT_EQ(TPipeByteStream::Wrap(-1, -1)->AtEnd(), 1);
  ::signal(SIGPIPE, previous);
}

TEST(ChildProcess, RunsInItsOwnSessionWithoutTerminal) {
  Ref<TChildProcess> child = TChildProcess::Launch(R"(/bin/sh -c "cat /proc/self/stat")", 0);
  ASSERT_TRUE(child);
  const std::string stat = NextLine(child->standardStream.Get());
  // Fields after the name: state ppid pgrp session tty_nr.
  char state = 0;
  long ppid = 0, group = 0, session = 0, tty = -1;
  ASSERT_EQ(
      std::sscanf(stat.c_str() + stat.rfind(')') + 1, " %c %ld %ld %ld %ld", &state, &ppid, &group, &session, &tty), 5);
  EXPECT_EQ(group, child->ProcessId());
  EXPECT_EQ(session, child->ProcessId());
  EXPECT_EQ(tty, 0);
  child->Terminate();
  child->CloseStreams();
}

TEST(ChildProcess, TerminateKillsDirectChildrenOnly) {
  // The child starts a shell that starts a sleep; each tells the id of
  // what it started.
  Ref<TChildProcess> child =
      TChildProcess::Launch(R"(/bin/sh -c "/bin/sh -c 'sleep 300 & echo sleep $!; wait' & echo shell $!; wait")", 0);
  ASSERT_TRUE(child);
  TPipeByteStream* pipe = child->standardStream.Get();
  pid_t shell = 0, sleeper = 0;
  for (int i = 0; i < 2; ++i) {
    const std::string line = NextLine(pipe);
    const pid_t id = std::atoi(line.c_str() + line.find(' ') + 1);
    (line.rfind("shell ", 0) == 0 ? shell : sleeper) = id;
  }
  ASSERT_GT(shell, 0);
  ASSERT_GT(sleeper, 0);
  ASSERT_TRUE(Alive(shell));
  ASSERT_TRUE(Alive(sleeper));
  EXPECT_EQ(child->Terminate(), 1);
  EXPECT_EQ(child->IsRunning(), 0);
  EXPECT_TRUE(WaitFor([&] { return !Alive(shell); }));
  EXPECT_TRUE(Alive(sleeper));  // a grandchild of the child is left alone
  ::kill(sleeper, SIGKILL);
  child->CloseStreams();
}

TEST(ChildProcess, FailedLaunchesGiveNullAndLeakNothing) {
  const int before = OpenDescriptors();
  const int listed = ChildProcessCount();
  EXPECT_FALSE(TChildProcess::Launch("/nonexistent/program arg", 0));
  EXPECT_FALSE(TChildProcess::Launch("no-such-command-in-path", 0));
  EXPECT_FALSE(TChildProcess::Launch("", 0));
  EXPECT_FALSE(TChildProcess::Launch("/proc", 0));  // not executable
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(ChildProcessCount(), listed);
}

TEST(ChildProcess, FailedLaunchesLogWhy) {
  test::LogCapture log(LogLevel::Warning);
  EXPECT_FALSE(TChildProcess::Launch("no-such-command-in-path arg", 0));
  EXPECT_FALSE(TChildProcess::Launch("", 0));
  ASSERT_EQ(log.Warnings().size(), 2u);
  EXPECT_NE(log.Warnings()[0].find("\"no-such-command-in-path\": No such file or directory"), std::string::npos)
      << log.Warnings()[0];
  EXPECT_NE(log.Warnings()[1].find("names no program"), std::string::npos) << log.Warnings()[1];
}

TEST(ChildProcess, TerminateAllEndsEveryListedChild) {
  Ref<TChildProcess> a = TChildProcess::Launch("sleep 300", 0);
  Ref<TChildProcess> b = TChildProcess::Launch("sleep 300", 0);
  ASSERT_TRUE(a);
  ASSERT_TRUE(b);
  const pid_t pa = a->ProcessId(), pb = b->ProcessId();
  TerminateAllChildProcesses();
  EXPECT_EQ(ChildProcessCount(), 0);
  EXPECT_EQ(a->IsRunning(), 0);
  EXPECT_EQ(b->IsRunning(), 0);
  EXPECT_FALSE(a->standardStream);
  EXPECT_FALSE(Alive(pa));
  EXPECT_FALSE(Alive(pb));
}

TEST(ChildProcessDeathTest, ChildrenEndWithTheProgram) {
  GTEST_FLAG_SET(death_test_style, "fast");
  char path[] = "/tmp/cvx-child-pid-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_EXIT(
      {
        Ref<TChildProcess> child = TChildProcess::Launch("sleep 300", 0);
        std::ofstream(path) << (child ? child->ProcessId() : 0) << std::endl;
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  pid_t pid = 0;
  std::ifstream(path) >> pid;
  std::remove(path);
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitFor([&] { return !Alive(pid); }));
  if (Alive(pid)) ::kill(pid, SIGKILL);
}

}  // namespace
}  // namespace cvx
