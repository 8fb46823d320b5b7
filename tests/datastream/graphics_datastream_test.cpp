// Graphics objects through a data stream: written as the four settings that
// recreate them, read back by opening a display with those settings on the
// current driver (here one that draws nothing, on a virtual clock).
#include <gtest/gtest.h>

#include "corvex/graphics/graphics.h"
#include "corvex/stream/datastream.h"
#include "corvex/system/system.h"
#include "tests/datastream/byte_sink.h"

namespace cvx {
namespace {

using testing_data::Append;
using testing_data::Bytes;
using testing_data::Int32Bytes;
using testing_data::TByteSink;
using testing_data::Text;

class TQuietDriver;

class TQuietGraphics final : public TGraphics {
 public:
  TQuietGraphics(TDisplayDriver* owner, int w, int h, int d, int hz) : w_(w), h_(h), d_(d), hz_(hz), owner_(owner) {}
  Ref<TDisplayDriver> OwnerDriver() override { return owner_; }
  void QuerySettings(int& w, int& h, int& d, int& hz, int& f) override {
    w = w_;
    h = h_;
    d = d_;
    hz = hz_;
    f = 0;
  }
  void ReleaseGraphics() override {}

 private:
  int w_, h_, d_, hz_;
  Ref<TDisplayDriver> owner_;
};

class TQuietDriver final : public TDisplayDriver {
 public:
  GraphicsModeArray ListModes() override { return NewArray<Ref<TGraphicsMode>>(0); }
  Ref<TGraphics> BindWindow(void*, int) override { return nullptr; }
  Ref<TGraphics> NewGraphics(int w, int h, int d, int hz, int) override {
    return Ref<TGraphics>(new TQuietGraphics(this, w, h, d, hz));
  }
  void MakeCurrent(TGraphics*) override {}
  void Present(int) override {}
};

class TStillHost final : public THostSystem {
 public:
  void Pump() override {}
  void PumpWait() override {}
  void WarpPointer(int, int) override {}
  void SetPointerVisible(int) override {}
};

TEST(GraphicsDataStreamTest, SettingsAreWrittenAndReopenedOnTheCurrentDriver) {
  InitGraphics();
  InitDataStreams();
  Ref<THostSystem> still = new TStillHost;
  Ref<TVirtualClockHost> clock = new TVirtualClockHost(still.Get(), 5000);
  Ref<THostSystem> previous = SetHostSystem(clock.Get());
  Ref<TQuietDriver> driver = new TQuietDriver;
  SelectGraphicsDriver(driver.Get(), 0);

  Ref<TGraphics> graphics = new TQuietGraphics(driver.Get(), 320, 240, 0, 60);
  Ref<TByteSink> sink = new TByteSink();
  Ref<TDataStream> out = TDataStream::Create(sink.Get());
  out->WriteSerialized(graphics.Get());
  Bytes expected = {1};
  Append(expected, Text("CVX.Graphics.TGraphics\r\n"));
  for (int v : {320, 240, 0, 60}) Append(expected, Int32Bytes(v));
  EXPECT_EQ(sink->data, expected);

  Ref<TByteSink> source = new TByteSink(sink->data);
  auto read = RefCast<TGraphics>(TDataStream::Create(source.Get())->ReadSerialized());
  ASSERT_TRUE(read);
  EXPECT_NE(read.Get(), graphics.Get());
  int w = 0, h = 0, d = -1, hz = 0, f = -1;
  read->QuerySettings(w, h, d, hz, f);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(hz, 60);

  ShutGraphics();
  SelectGraphicsDriver(nullptr, 0);
  SetHostSystem(previous.Get());
}

}  // namespace
}  // namespace cvx
