#include "corvex/app/app.h"

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "corvex/graphics/graphics.h"
#include "corvex/net/socket.h"
#include "corvex/process/childprocess.h"
#include "corvex/runtime/error.h"
#include "corvex/runtime/log.h"
#include "corvex/stream/filestream.h"
#include "corvex/stream/url.h"

namespace cvx {
namespace {

int OpenerCount() {
  int n = 0;
  for (TStreamOpener* o = FirstStreamOpener(); o; o = o->Next()) ++n;
  return n;
}

struct DebugLines {
  DebugLines() {
    SetLogLevel(LogLevel::Debug);
    SetLogSink([this](LogLevel, std::string_view message) { lines.emplace_back(message); });
  }
  ~DebugLines() {
    SetLogSink(nullptr);
    ResetLogLevel();
  }
  std::vector<std::string> lines;
};

// One process starts Corvex once, so the cases run in this order.
TEST(StartCorvex, RunsEveryInitialiserInStartupOrderOnce) {
  ASSERT_FALSE(CorvexStarted());
  std::vector<std::string> started;
  {
    DebugLines log;
    StartCorvex();
    for (const std::string& line : log.lines)
      if (line.rfind("starting ", 0) == 0) started.push_back(line.substr(9));
  }
  EXPECT_TRUE(CorvexStarted());
  // The runtime first, the OpenGL 2D driver before the decoders, the script
  // engine last; the 2D driver selection leaves a graphics driver current.
  ASSERT_GE(started.size(), 20u);
  EXPECT_EQ(started.front(), "runtime errors");
  EXPECT_EQ(started.back(), "script engine");
  auto at = [&](const char* name) { return std::find(started.begin(), started.end(), name) - started.begin(); };
  EXPECT_LT(at("banks"), at("sockets"));
  EXPECT_LT(at("pixmaps"), at("OpenGL 2D driver"));
  EXPECT_LT(at("OpenGL 2D driver"), at("PNG decoder"));
  EXPECT_LT(at("child processes"), at("Lua"));
  EXPECT_TRUE(CurrentGraphicsDriver());

  // A second start runs nothing and registers nothing again.
  int openers = OpenerCount();
  EXPECT_GE(openers, 7);
  DebugLines again;
  StartCorvex();
  EXPECT_TRUE(again.lines.empty());
  EXPECT_EQ(OpenerCount(), openers);
}

TEST(StopCorvex, EndsChildrenClosesSocketsAndFlushesWriteStreamsThenCanStartAgain) {
  StartCorvex();
  Ref<TChildProcess> child = LaunchChildProcess("sleep 30"_s, 0);
  ASSERT_TRUE(child);
  ASSERT_EQ(ChildProcessIsRunning(child.Get()), 1);

  std::string path = ::testing::TempDir() + "corvex_stop_flush.txt";
  Ref<TFileStream> file = TFileStream::OpenCFile(String(path), 0, 1);
  ASSERT_TRUE(file);
  file->WriteText("kept"_s);  // left open: the program never closes it
  Ref<TNetSocket> listening = NewTcpSocket();
  ASSERT_TRUE(listening);
  ASSERT_EQ(listening->BindPort(0), 1);
  ASSERT_EQ(listening->StartListening(1), 1);

  StopCorvex();
  EXPECT_EQ(listening->Handle(), -1) << "a socket stayed open";
  EXPECT_FALSE(CorvexStarted());
  EXPECT_EQ(ChildProcessIsRunning(child.Get()), 0);
  std::ifstream written(path);
  std::string content((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "kept");

  StopCorvex();  // a second stop has nothing left to undo
  StartCorvex();
  EXPECT_TRUE(CorvexStarted());
  file->Close();
}

std::string ClassName(const TStreamOpener* opener) {
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(*opener).name(), nullptr, nullptr, &status);
  std::string text = status == 0 ? name : typeid(*opener).name();
  std::free(name);
  return text.substr(text.rfind(':') + 1);
}

// Text encodings first, then the network, the endian filters, embedded
// files, banks and data streams last, whichever module started first.
TEST(StartCorvex, StreamOpenersAreAskedInTheirFixedOrder) {
  StartCorvex();
  std::vector<std::string> names;
  for (TStreamOpener* o = FirstStreamOpener(); o; o = o->Next()) names.push_back(ClassName(o));
  EXPECT_EQ(names, (std::vector<std::string>{"TTextOpener", "THttpOpener", "TTcpOpener", "TEndianOpener",
                                             "TIncbinOpener", "TBankOpener", "TDataOpener"}));
}

int ReturnsSeven(int, char**) { return 7; }
int Raises(int, char**) { throw TRuntimeError("game over"); }

TEST(RunProgram, ReturnsTheProgramsResultOrOneWhenItRaisesAndStopsCorvex) {
  char name[] = "game";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(RunProgram(1, argv, ReturnsSeven), 7);
  EXPECT_FALSE(CorvexStarted());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunProgram(1, argv, Raises), 1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("game over"), std::string::npos);
  EXPECT_FALSE(CorvexStarted());
}

}  // namespace
}  // namespace cvx
