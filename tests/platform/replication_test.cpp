// A replication server and two clients, each its own process on the headless
// platform (no display server: DISPLAY is removed from their environment),
// over loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// Starts the node program with these arguments; with out set, its standard
// output comes back through *out.
pid_t StartNode(const std::vector<std::string>& arguments, int* out = nullptr) {
  int pipeEnds[2] = {-1, -1};
  if (out && pipe(pipeEnds) != 0) return -1;
  pid_t child = fork();
  if (child != 0) {
    if (out) {
      close(pipeEnds[1]);
      *out = pipeEnds[0];
    }
    return child;
  }
  if (out) {
    dup2(pipeEnds[1], 1);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
  }
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("CORVEX_PLATFORM", "headless", 1);
  std::vector<char*> argv;
  std::string program = CORVEX_REPLICATION_NODE;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

// The node's exit status, or -1 when it had to be killed after the deadline.
int Finish(pid_t child, std::chrono::steady_clock::time_point deadline) {
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return -1;
}

TEST(HeadlessReplication, AServerRelaysBetweenTwoClients) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int serverOut = -1;
  pid_t server = StartNode({"server"}, &serverOut);
  ASSERT_GT(server, 0);
  FILE* portLine = fdopen(serverOut, "r");
  ASSERT_NE(portLine, nullptr);
  int port = 0;
  const bool gotPort = std::fscanf(portLine, "%d", &port) == 1 && port > 0;
  std::fclose(portLine);
  if (!gotPort) {
    Finish(server, deadline);
    FAIL() << "the server gave no port";
  }
  pid_t first = StartNode({"client", std::to_string(port), "1"});
  pid_t second = StartNode({"client", std::to_string(port), "2"});
  EXPECT_EQ(Finish(first, deadline), 0) << "client 1";
  EXPECT_EQ(Finish(second, deadline), 0) << "client 2";
  EXPECT_EQ(Finish(server, deadline), 0) << "server";
}

}  // namespace
