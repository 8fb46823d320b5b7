// The graphics front on a recording driver and a virtual clock: mode cache,
// current graphics, open/shut, the sequence number, and the frame pacing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "corvex/event/hook.h"
#include "corvex/input/input.h"
#include "corvex/stream/memorystream.h"
#include "tests/graphics/fakedriver.h"

namespace cvx {
namespace {

using test::TFakeDriver;
using test::TFakeGraphics;
using test::TPointerHost;

class GraphicsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitGraphics();
    pointer = new TPointerHost;
    clock = new TVirtualClockHost(pointer.Get(), 100000);
    previousHost = SetHostSystem(clock.Get());
    driver = new TFakeDriver(clock.Get());
    driver->modes = {{640, 480, 16, 60}, {800, 600, 32, 60}, {1024, 768, 32, 75}};
    SelectGraphicsDriver(driver.Get(), 0);
  }
  void TearDown() override {
    ShutGraphics();
    SelectGraphicsDriver(nullptr, 0);
    SetHostSystem(previousHost.Get());
  }

  // Whatever schedule an earlier display left, a frame two seconds late
  // restarts it: the last present is then frame 0 of a fresh schedule.
  int StartFreshSchedule() {
    FlipFrame(-1);
    clock->Advance(2000);
    FlipFrame(-1);
    return driver->presents.back().at;
  }

  // Virtual times at which the presents after index `from` started.
  std::vector<int> PresentTimes(std::size_t from) {
    std::vector<int> times;
    for (std::size_t i = from; i < driver->presents.size(); ++i) times.push_back(driver->presents[i].at);
    return times;
  }

  Ref<TPointerHost> pointer;
  Ref<TVirtualClockHost> clock;
  Ref<THostSystem> previousHost;
  Ref<TFakeDriver> driver;
};

TEST(GraphicsModeTest, TextForm) {
  Ref<TGraphicsMode> mode = new TGraphicsMode(1024, 768, 16, 75);
  EXPECT_EQ(mode->ToString().ToStd(), "1024,768,16 75Hz");
  mode = new TGraphicsMode(640, 480, 32, 0);
  EXPECT_EQ(mode->ToString().ToStd(), "640,480,32 0Hz");
}

TEST_F(GraphicsTest, ModeCacheIsFilledOnceAndHandedOutAsCopies) {
  EXPECT_EQ(GraphicsModeCount(), 3);
  GraphicsModeArray modes = ListGraphicsModes();
  ASSERT_EQ(modes->Length(), 3);
  (*modes)[0]->width = 1;  // a caller's copy must not change the cache
  int w, h, d, hz;
  GraphicsModeAt(0, w, h, d, hz);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(d, 16);
  EXPECT_EQ(hz, 60);
  GraphicsModeAt(2, w, h, d, hz);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(hz, 75);
  EXPECT_EQ(driver->listModesCalls, 1);
  EXPECT_THROW(GraphicsModeAt(3, w, h, d, hz), TRuntimeError);
  EXPECT_THROW(GraphicsModeAt(-1, w, h, d, hz), TRuntimeError);

  // A driver change forgets the cache; the same driver again keeps it.
  SelectGraphicsDriver(driver.Get(), FlagBackBuffer);
  GraphicsModeCount();
  EXPECT_EQ(driver->listModesCalls, 1);
  Ref<TFakeDriver> other = new TFakeDriver(clock.Get());
  SelectGraphicsDriver(other.Get(), 0);
  EXPECT_EQ(GraphicsModeCount(), 0);
  SelectGraphicsDriver(driver.Get(), 0);
  GraphicsModeCount();
  EXPECT_EQ(driver->listModesCalls, 2);
}

TEST_F(GraphicsTest, HasGraphicsModeMatchesNonZeroArguments) {
  EXPECT_EQ(HasGraphicsMode(0, 0, 32, 0), 1);
  EXPECT_EQ(HasGraphicsMode(0, 0, 24, 0), 0);
  EXPECT_EQ(HasGraphicsMode(800, 600, 0, 0), 1);
  EXPECT_EQ(HasGraphicsMode(800, 600, 32, 75), 0);  // every given field must match the same mode
  EXPECT_EQ(HasGraphicsMode(1024, 768, 32, 75), 1);
  EXPECT_EQ(HasGraphicsMode(0, 0, 0, 0), 1);
}

TEST_F(GraphicsTest, SelectingTheSameDriverOnlyReplacesFlagsAndForgetsCurrent) {
  SelectGraphicsDriver(driver.Get(), FlagDepthBuffer);
  Ref<TGraphics> g = NewGraphics(320, 240, 0, 0, FlagBackBuffer);
  EXPECT_EQ(driver->lastFlags, FlagBackBuffer | FlagDepthBuffer);
  MakeGraphicsCurrent(g.Get());
  EXPECT_EQ(CurrentGraphicsWidth(), 320);
  driver->log.clear();

  SelectGraphicsDriver(driver.Get(), FlagStencilBuffer);
  EXPECT_TRUE(driver->log.empty());  // same driver: no MakeCurrent(null)
  EXPECT_TRUE(CurrentGraphics().IsNull());
  EXPECT_EQ(CurrentGraphicsWidth(), 0);
  EXPECT_EQ(DefaultGraphicsFlags(), FlagStencilBuffer);
  EXPECT_FALSE(static_cast<TFakeGraphics*>(g.Get())->released);  // not closed

  BindGraphics(nullptr, FlagAlphaBuffer);
  EXPECT_EQ(driver->lastFlags, FlagAlphaBuffer | FlagStencilBuffer);
}

TEST_F(GraphicsTest, MakeCurrentCachesSettingsAndSwitchesDrivers) {
  Ref<TGraphics> g = NewGraphics(800, 600, 32, 85, FlagDepthBuffer);
  MakeGraphicsCurrent(g.Get());
  EXPECT_EQ(CurrentGraphics().Get(), g.Get());
  EXPECT_EQ(CurrentGraphicsWidth(), 800);
  EXPECT_EQ(CurrentGraphicsHeight(), 600);
  EXPECT_EQ(CurrentGraphicsDepth(), 32);
  EXPECT_EQ(CurrentGraphicsHertz(), 85);
  EXPECT_EQ(CurrentGraphicsFlags(), FlagDepthBuffer);
  EXPECT_EQ(driver->current.Get(), g.Get());

  // A graphics object of another driver makes that driver current and leaves the old one.
  Ref<TFakeDriver> other = new TFakeDriver(clock.Get());
  Ref<TGraphics> h = other->NewGraphics(100, 50, 0, 0, 0);
  driver->log.clear();
  MakeGraphicsCurrent(h.Get());
  EXPECT_EQ(CurrentGraphicsDriver().Get(), other.Get());
  ASSERT_EQ(driver->log.size(), 1u);
  EXPECT_EQ(driver->log[0], "current(null)");
  EXPECT_EQ(CurrentGraphicsWidth(), 100);

  MakeGraphicsCurrent(nullptr);
  EXPECT_TRUE(other->current.IsNull());
  EXPECT_EQ(CurrentGraphicsWidth(), 0);
  EXPECT_EQ(CurrentGraphicsFlags(), 0);
  SelectGraphicsDriver(driver.Get(), 0);
}

TEST_F(GraphicsTest, DisposeForgetsCurrentAndReleases) {
  Ref<TGraphics> g = NewGraphics(320, 240, 0, 0, 0);
  MakeGraphicsCurrent(g.Get());
  DisposeGraphics(g.Get());
  EXPECT_TRUE(static_cast<TFakeGraphics*>(g.Get())->released);
  EXPECT_TRUE(CurrentGraphics().IsNull());
  EXPECT_TRUE(driver->current.IsNull());
  DisposeGraphics(nullptr);  // nothing to dispose of
}

TEST_F(GraphicsTest, OpenAndShut) {
  int before = GraphicsSequence();
  Ref<TGraphics> g = OpenGraphics(800, 600, 0, 60, FlagDepthBuffer);
  ASSERT_FALSE(g.IsNull());
  EXPECT_EQ(GraphicsSequence(), before + 1);
  EXPECT_EQ(OpenedGraphics().Get(), g.Get());
  EXPECT_EQ(CurrentGraphics().Get(), g.Get());
  EXPECT_EQ(CurrentGraphicsWidth(), 800);
  EXPECT_TRUE(SoftwareSyncEnabled());  // windowed with a refresh rate: always paced
  EXPECT_EQ(InputPollingStarted(), 1);
  EXPECT_EQ(pointer->warpX, 400);
  EXPECT_EQ(pointer->warpY, 300);
  EXPECT_TRUE(driver->presents.empty());  // a window is never measured

  ShutGraphics();
  EXPECT_EQ(GraphicsSequence(), before + 2);
  EXPECT_TRUE(static_cast<TFakeGraphics*>(g.Get())->released);
  EXPECT_TRUE(OpenedGraphics().IsNull());
  EXPECT_TRUE(CurrentGraphics().IsNull());
  EXPECT_EQ(InputPollingStarted(), 0);

  ShutGraphics();  // nothing open: nothing changes
  EXPECT_EQ(GraphicsSequence(), before + 2);

  OpenGraphics(641, 479, 0, 0, 0);
  EXPECT_EQ(pointer->warpX, 320);  // halves truncated
  EXPECT_EQ(pointer->warpY, 239);
  EXPECT_FALSE(SoftwareSyncEnabled());
}

TEST_F(GraphicsTest, OpeningAgainShutsTheOpenDisplayFirst) {
  Ref<TGraphics> first = OpenGraphics(320, 240, 0, 0, 0);
  int before = GraphicsSequence();
  Ref<TGraphics> second = OpenGraphics(640, 480, 0, 0, 0);
  EXPECT_TRUE(static_cast<TFakeGraphics*>(first.Get())->released);
  EXPECT_EQ(GraphicsSequence(), before + 2);
  EXPECT_EQ(OpenedGraphics().Get(), second.Get());

  driver->failCreate = true;
  EXPECT_TRUE(OpenGraphics(640, 480, 0, 0, 0).IsNull());
  EXPECT_TRUE(static_cast<TFakeGraphics*>(second.Get())->released);  // shut before the attempt
  EXPECT_EQ(GraphicsSequence(), before + 3);                         // only the shut counted
  EXPECT_TRUE(OpenedGraphics().IsNull());
  EXPECT_EQ(InputPollingStarted(), 0);
}

TEST_F(GraphicsTest, SequenceSkipsZero) {
  SetGraphicsSequence(-1);
  OpenGraphics(320, 240, 0, 0, 0);
  EXPECT_EQ(GraphicsSequence(), 1);
  ShutGraphics();
  EXPECT_EQ(GraphicsSequence(), 2);
  SetGraphicsSequence(-2);
  OpenGraphics(320, 240, 0, 0, 0);
  ShutGraphics();
  EXPECT_EQ(GraphicsSequence(), 1);
  SetGraphicsSequence(0);
  EXPECT_EQ(GraphicsSequence(), 1);
}

TEST_F(GraphicsTest, PacingAt60HzCarriesTheRemainder) {
  OpenGraphics(800, 600, 0, 60, 0);
  int t0 = StartFreshSchedule();
  EXPECT_EQ(t0, clock->Millis());
  std::size_t first = driver->presents.size();
  int pausesBefore = clock->PauseCalls();

  for (int i = 0; i < 120; ++i) FlipFrame(-1);
  std::vector<int> times = PresentTimes(first);
  ASSERT_EQ(times.size(), 120u);
  for (int k = 1; k <= 120; ++k) {
    EXPECT_EQ(times[k - 1] - t0, k * 1000 / 60) << "frame " << k;
    int gap = times[k - 1] - (k == 1 ? t0 : times[k - 2]);
    EXPECT_TRUE(gap == 16 || gap == 17) << "frame " << k << " gap " << gap;
  }
  EXPECT_EQ(times.back() - t0, 2000);  // no drift over two seconds
  EXPECT_EQ(clock->PauseCalls() - pausesBefore, 120);
  for (const auto& p : driver->presents) EXPECT_EQ(p.sync, 0);
}

// The frame is rendered before the wait: it shows at its due time however
// long the rendering takes (within the frame), instead of that much later.
TEST_F(GraphicsTest, PacingRendersTheFrameBeforeItWaits) {
  OpenGraphics(800, 600, 0, 60, 0);
  int t0 = StartFreshSchedule();
  driver->renderCost = 9;
  std::size_t first = driver->presents.size();
  for (int i = 0; i < 60; ++i) FlipFrame(-1);
  std::vector<int> times = PresentTimes(first);
  ASSERT_EQ(times.size(), 60u);
  for (int k = 1; k <= 60; ++k) EXPECT_EQ(times[k - 1] - t0, k * 1000 / 60) << "frame " << k;
  // Presents that do not wait leave the finishing to the present itself.
  driver->log.clear();
  FlipFrame(0);
  FlipFrame(1);
  EXPECT_EQ(driver->log, (std::vector<std::string>{"present(0)", "present(1)"}));
}

TEST_F(GraphicsTest, PacingWithWorkSleepsOnlyTheRest) {
  OpenGraphics(800, 600, 0, 60, 0);
  int t0 = StartFreshSchedule();
  for (int k = 1; k <= 30; ++k) {
    clock->Advance(10);  // the frame's own work
    FlipFrame(-1);
    EXPECT_EQ(driver->presents.back().at - t0, k * 1000 / 60);
    int expectedWait = k * 1000 / 60 - ((k - 1) * 1000 / 60 + 10);
    EXPECT_EQ(clock->LastPause(), expectedWait);
  }
}

TEST_F(GraphicsTest, LateFrameRestartsTheSchedule) {
  OpenGraphics(800, 600, 0, 60, 0);
  StartFreshSchedule();
  FlipFrame(-1);
  FlipFrame(-1);
  int pauses = clock->PauseCalls();
  clock->Advance(40);  // overruns the next target
  int late = clock->Millis();
  FlipFrame(-1);
  EXPECT_EQ(clock->PauseCalls(), pauses);  // presented at once
  EXPECT_EQ(driver->presents.back().at, late);
  EXPECT_EQ(driver->presents.back().sync, 0);
  FlipFrame(-1);
  FlipFrame(-1);
  EXPECT_EQ(driver->presents.back().at - late, 33);  // new schedule counted from the late frame
  EXPECT_EQ(driver->presents[driver->presents.size() - 2].at - late, 16);

  // A frame exactly on its target is late too (wait 0).
  int onTime = clock->Millis();
  clock->Advance(17);  // the next target is late + 50, i.e. 17 ms on
  FlipFrame(-1);
  EXPECT_EQ(driver->presents.back().at, onTime + 17);
  EXPECT_EQ(clock->PauseCalls(), pauses + 2);
}

TEST_F(GraphicsTest, WaitOfASecondOrMoreRestartsTheSchedule) {
  // At 1 Hz every frame's wait is 1000 ms: never slept, always restarted.
  OpenGraphics(800, 600, 0, 1, 0);
  int pauses = clock->PauseCalls();
  for (int i = 0; i < 4; ++i) FlipFrame(-1);
  EXPECT_EQ(clock->PauseCalls(), pauses);
  EXPECT_EQ(driver->presents.size(), 4u);

  // A schedule left far ahead by an earlier display restarts on the first frame.
  OpenGraphics(800, 600, 0, 60, 0);
  clock->Advance(5000);
  FlipFrame(-1);
  for (int i = 0; i < 200; ++i) FlipFrame(-1);  // the schedule runs ~3.3 s ahead of a new start
  OpenGraphics(800, 600, 0, 60, 0);
  pauses = clock->PauseCalls();
  int now = clock->Millis();
  FlipFrame(-1);
  EXPECT_EQ(clock->PauseCalls(), pauses);
  EXPECT_EQ(driver->presents.back().at, now);
  FlipFrame(-1);
  EXPECT_EQ(clock->LastPause(), 16);
}

TEST_F(GraphicsTest, ThreeGoodRetraceMeasurementsSwitchSoftwareSyncOff) {
  driver->presentCost = [](int sync) { return sync ? 16 : 0; };
  OpenGraphics(1024, 768, 32, 60, 0);
  EXPECT_FALSE(SoftwareSyncEnabled());
  ASSERT_EQ(driver->presents.size(), 3u);
  for (const auto& p : driver->presents) EXPECT_EQ(p.sync, 1);
  driver->presents.clear();
  int pauses = clock->PauseCalls();
  FlipFrame(-1);
  ASSERT_EQ(driver->presents.size(), 1u);
  EXPECT_EQ(driver->presents[0].sync, 1);
  EXPECT_EQ(clock->PauseCalls(), pauses);
}

TEST_F(GraphicsTest, RetraceMeasurementNeedsThreeInARow) {
  // 15 and 17 are within one millisecond of 16; 20 breaks the run.
  std::vector<int> costs = {15, 17, 20, 16, 20, 17, 15, 16};
  std::size_t next = 0;
  driver->presentCost = [&](int) { return next < costs.size() ? costs[next++] : 16; };
  OpenGraphics(1024, 768, 32, 60, 0);
  EXPECT_FALSE(SoftwareSyncEnabled());
  EXPECT_EQ(driver->presents.size(), 8u);
}

TEST_F(GraphicsTest, UnreliableRetraceKeepsSoftwarePacing) {
  driver->presentCost = [](int sync) { return sync ? 5 : 0; };
  int start = clock->Millis();
  OpenGraphics(1024, 768, 32, 60, 0);
  EXPECT_TRUE(SoftwareSyncEnabled());
  EXPECT_EQ(driver->presents.size(), 200u);  // measured for one second
  EXPECT_EQ(clock->Millis() - start, 1000);
  driver->presents.clear();
  StartFreshSchedule();
  FlipFrame(-1);
  EXPECT_EQ(driver->presents.back().sync, 0);
  EXPECT_EQ(clock->LastPause(), 16);
}

// A display without swap control (an X server such as Xvfb) presents at once.
// Timing such presents for a whole second only delays the start; the answer,
// software pacing, is the same as the full measurement would give.
TEST_F(GraphicsTest, PresentsThatCannotWaitEndTheRetraceMeasurementEarly) {
  driver->canWaitForRetrace = false;
  driver->presentCost = [](int) { return 0; };
  int start = clock->Millis();
  OpenGraphics(1024, 768, 32, 60, 0);
  EXPECT_TRUE(SoftwareSyncEnabled());
  EXPECT_EQ(driver->presents.size(), 8u);
  EXPECT_EQ(clock->Millis() - start, 0);
  driver->presents.clear();
  StartFreshSchedule();
  FlipFrame(-1);
  EXPECT_EQ(driver->presents.back().sync, 0);
  EXPECT_EQ(clock->LastPause(), 16);
}

TEST_F(GraphicsTest, RetraceMeasurementStillTrustsPresentsThatWaitWithoutSwapControl) {
  driver->canWaitForRetrace = false;
  {
    // A driver forcing the retrace whatever the program asks: measured as before.
    driver->presentCost = [](int) { return 16; };
    OpenGraphics(1024, 768, 32, 60, 0);
    EXPECT_FALSE(SoftwareSyncEnabled());
    EXPECT_EQ(driver->presents.size(), 3u);
  }
  {
    // Seven presents at once while a swap chain fills, then the retrace.
    driver->presents.clear();
    std::size_t next = 0;
    driver->presentCost = [&](int) { return next++ < 7 ? 0 : 16; };
    OpenGraphics(1024, 768, 32, 60, 0);
    EXPECT_FALSE(SoftwareSyncEnabled());
    EXPECT_EQ(driver->presents.size(), 10u);
  }
  {
    // Slow presents are not "at once": the whole second is measured.
    driver->presents.clear();
    driver->presentCost = [](int) { return 10; };
    int start = clock->Millis();
    OpenGraphics(1024, 768, 32, 60, 0);
    EXPECT_TRUE(SoftwareSyncEnabled());
    EXPECT_EQ(driver->presents.size(), 100u);
    EXPECT_EQ(clock->Millis() - start, 1000);
  }
}

TEST_F(GraphicsTest, QuickPresentsOfADriverThatCanWaitAreMeasuredForTheWholeSecond) {
  driver->presentCost = [](int) { return 1; };
  OpenGraphics(1024, 768, 32, 60, 0);
  EXPECT_TRUE(SoftwareSyncEnabled());
  EXPECT_EQ(driver->presents.size(), 1000u);
}

TEST_F(GraphicsTest, ZeroHertzNeverPaces) {
  driver->presentCost = [](int) { return 1; };
  OpenGraphics(1024, 768, 32, 0, 0);
  EXPECT_TRUE(driver->presents.empty());  // no measurement either
  int pauses = clock->PauseCalls();
  FlipFrame(-1);
  EXPECT_EQ(driver->presents.back().sync, 1);
  EXPECT_EQ(clock->PauseCalls(), pauses);
}

struct FlipRecord {
  static inline std::vector<std::string>* log = nullptr;
  static inline int calls = 0;
  static inline bool dataWasNull = false;
  static Ref<TObject> Hook(int, TObject* data, TObject*) {
    ++calls;
    dataWasNull = data == nullptr;
    if (log) log->push_back("hook");
    return Ref<TObject>(data);
  }
};

TEST_F(GraphicsTest, ExplicitSyncBypassesPacingButRunsFlipHooksFirst) {
  OpenGraphics(800, 600, 0, 60, 0);
  FlipRecord::log = &driver->log;
  FlipRecord::calls = 0;
  AttachHook(FlipHook, FlipRecord::Hook, nullptr, 0);
  driver->log.clear();
  int pauses = clock->PauseCalls();
  FlipFrame(0);
  FlipFrame(1);
  FlipFrame(5);
  DetachHook(FlipHook, FlipRecord::Hook);
  FlipRecord::log = nullptr;
  EXPECT_EQ(clock->PauseCalls(), pauses);
  std::vector<std::string> expected = {"hook", "present(0)", "hook", "present(1)", "hook", "present(5)"};
  EXPECT_EQ(driver->log, expected);
  EXPECT_TRUE(FlipRecord::dataWasNull);
  EXPECT_EQ(FlipRecord::calls, 3);
}

TEST_F(GraphicsTest, OnlyTheOpenedDisplayIsPaced) {
  OpenGraphics(800, 600, 0, 60, 0);
  Ref<TGraphics> other = NewGraphics(100, 100, 0, 60, 0);
  MakeGraphicsCurrent(other.Get());
  int pauses = clock->PauseCalls();
  FlipFrame(-1);
  EXPECT_EQ(driver->presents.back().sync, 1);
  EXPECT_EQ(clock->PauseCalls(), pauses);
  DisposeGraphics(other.Get());
  EXPECT_FALSE(OpenedGraphics().IsNull());  // disposing another object keeps the display
}

TEST_F(GraphicsTest, WriteAndReadThroughTheDataType) {
  EXPECT_EQ(driver->TypeName().ToStd(), "CVX.Graphics.TGraphics");
  Ref<TGraphics> g = NewGraphics(800, 600, 32, 75, FlagDepthBuffer);
  EXPECT_EQ(g->DataTypeOf().Get(), driver.Get());
  unsigned char bytes[16] = {};
  Ref<TMemoryStream> out = CreateMemoryStream(bytes, 16, 0, 1);
  driver->WriteData(g.Get(), out.Get());
  const unsigned char expected[16] = {0x20, 3, 0, 0, 0x58, 2, 0, 0, 32, 0, 0, 0, 75, 0, 0, 0};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;

  SelectGraphicsDriver(driver.Get(), FlagBackBuffer);
  driver->presentCost = [](int) { return 16; };  // full screen: the retrace is measured
  Ref<TMemoryStream> in = CreateMemoryStream(bytes, 16, 1, 0);
  Ref<TObject> read = driver->ReadData(in.Get());
  auto* opened = dynamic_cast<TFakeGraphics*>(read.Get());
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened, OpenedGraphics().Get());
  EXPECT_EQ(opened->width, 800);
  EXPECT_EQ(opened->height, 600);
  EXPECT_EQ(opened->depth, 32);
  EXPECT_EQ(opened->hertz, 75);
  EXPECT_EQ(opened->flags, FlagBackBuffer);  // flags are not stored: 0 plus the defaults

  // Typed reads give zeros past the end: a cut record opens a window.
  Ref<TMemoryStream> shortInput = CreateMemoryStream(bytes, 6, 1, 0);
  read = driver->ReadData(shortInput.Get());
  opened = dynamic_cast<TFakeGraphics*>(read.Get());
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->width, 800);
  EXPECT_EQ(opened->height, 600);
  EXPECT_EQ(opened->depth, 0);
  EXPECT_EQ(opened->hertz, 0);
}

class ReleaseReporter final : public TDisplayDriver {
 public:
  class Graphics final : public TGraphics {
   public:
    explicit Graphics(ReleaseReporter* d) : d_(d) {}
    Ref<TDisplayDriver> OwnerDriver() override { return d_; }
    void QuerySettings(int& w, int& h, int& d, int& hz, int& f) override { w = h = d = hz = f = 0; }
    void ReleaseGraphics() override { std::fprintf(stderr, "display released at exit\n"); }

   private:
    Ref<TDisplayDriver> d_;
  };
  GraphicsModeArray ListModes() override { return NewArray<Ref<TGraphicsMode>>(0); }
  Ref<TGraphics> BindWindow(void*, int) override { return nullptr; }
  Ref<TGraphics> NewGraphics(int, int, int, int, int) override { return Ref<TGraphics>(new Graphics(this)); }
  void MakeCurrent(TGraphics*) override {}
  void Present(int) override {}
};

TEST(GraphicsExitTest, TheOpenDisplayIsShutAtExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        InitGraphics();
        SetHostSystem(new TVirtualClockHost(nullptr, 0));
        SelectGraphicsDriver(new ReleaseReporter, 0);
        OpenGraphics(320, 200, 0, 0, 0);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "display released at exit");
}

}  // namespace
}  // namespace cvx
