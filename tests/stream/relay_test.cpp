#include "corvex/stream/memorystream.h"
#include "corvex/stream/stream.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Bytes;
using testing_streams::ExpectError;
using testing_streams::Scripted;
using testing_streams::Std;
using testing_streams::TScriptedStream;

// A filter that flips every byte it reads: shows which typed operations go
// through the relay's own Read and which are forwarded whole.
class TFlipRelay final : public TStreamRelay {
 public:
  using TStreamRelay::TStreamRelay;
  std::int32_t Read(void* buffer, std::int32_t count) override {
    std::int32_t n = TStreamRelay::Read(buffer, count);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::int32_t i = 0; i < n; ++i) bytes[i] ^= 0xFF;
    return n;
  }
};

// A stream whose typed reads answer differently from its bytes, to see where
// the relay sends each call.
class TTypedMarker final : public TScriptedStream {
 public:
  using TScriptedStream::TScriptedStream;
  std::int32_t ReadInt32() override { return 111; }
  std::int64_t ReadInt64() override { return 222; }
  int ReadUInt16() override { return 333; }
  String ReadTextLine() override { return "marked"; }
  Ref<TObject> ReadSerialized() override { return String("object"); }
};

TEST(StreamRelay, ForwardsPrimitivesAndMostTypedOperations) {
  Ref<TTypedMarker> inner(new TTypedMarker(Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
  Ref<TStreamRelay> relay(new TStreamRelay(inner.Get()));
  EXPECT_EQ(relay->ReadInt32(), 111);
  EXPECT_EQ(relay->ReadUInt16(), 333);
  EXPECT_EQ(Std(relay->ReadTextLine()), "marked");
  EXPECT_EQ(Std(String::FromObject(relay->ReadSerialized().Get())), "object");
  // The 64-bit values keep the byte stream's loop over the relay's Read.
  EXPECT_EQ(relay->ReadInt64(), 1);
  EXPECT_EQ(relay->Position(), 8);
  EXPECT_EQ(relay->Size(), 8);
  EXPECT_TRUE(relay->AtEnd());
  EXPECT_EQ(relay->Seek(3), 3);
  EXPECT_EQ(inner->pos, 3);
  relay->Close();
  EXPECT_EQ(inner->closes, 1);
}

TEST(StreamRelay, FilterAppliesToTheExactLoopsOnly) {
  auto inner = Scripted({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00});
  Ref<TFlipRelay> flip(new TFlipRelay(inner.Get()));
  EXPECT_EQ(flip->ReadInt64(), 1);   // through the flipping Read
  EXPECT_EQ(flip->ReadInt32(), -1);  // forwarded to the inner stream unfiltered
  Bytes two(2);
  flip->ReadExact(two.data(), 2);
  EXPECT_EQ(two, (Bytes{0xFF, 0xFF}));
}

TEST(StreamRelay, WritesAndSetInner) {
  auto a = Scripted();
  auto b = Scripted();
  Ref<TStreamRelay> relay(new TStreamRelay(a.Get()));
  relay->WriteInt32(0x04030201);
  relay->WriteInt64(5);
  EXPECT_TRUE(relay->WriteTextLine("t"));
  relay->SetInner(b.Get());
  relay->WriteUInt8(9);
  EXPECT_EQ(a->written, (Bytes{1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 't', 13, 10}));
  EXPECT_EQ(b->written, (Bytes{9}));
  EXPECT_EQ(a->closes, 0);  // replacing the inner stream does not close it
  relay->SetInner(nullptr);
  ExpectError<TRuntimeError>([&] { relay->ReadUInt8(); }, "Attempt to access field or method of Null object");
}

// A relay that would reach itself through its inner streams would pass every
// call round until the stack overflows: it is refused and keeps its stream.
TEST(StreamRelay, SetInnerRefusesALoopBackToTheRelay) {
  Ref<TMemoryStream> memory = CreateMemoryStream(nullptr, 0, 1, 1);
  Ref<TStreamRelay> outer(new TStreamRelay(memory.Get()));
  Ref<TStreamRelay> middle(new TStreamRelay(outer.Get()));
  for (TByteStream* loop : {static_cast<TByteStream*>(outer.Get()), static_cast<TByteStream*>(middle.Get())}) {
    try {
      outer->SetInner(loop);
      ADD_FAILURE() << "no error";
    } catch (const TRuntimeError& error) {
      EXPECT_STREQ(error.what(), "Stream relay would relay to itself");
    }
    EXPECT_EQ(outer->Inner(), memory.Get());
  }
  EXPECT_EQ(middle->AtEnd(), 1);
  outer->SetInner(nullptr);
  EXPECT_EQ(outer->Inner(), nullptr);
}

TEST(BorrowedStream, CloseLeavesTheBorrowedStreamOpen) {
  std::uint8_t block[6] = {1, 2, 3, 4, 5, 6};
  Ref<TMemoryStream> memory = CreateMemoryStream(block, 6, 1, 0);
  Ref<TBorrowedStream> borrowed = TBorrowedStream::Borrow(memory.Get());
  EXPECT_EQ(borrowed->ReadUInt16(), 0x0201);
  borrowed->Close();
  borrowed->Close();  // a second close does nothing
  EXPECT_EQ(borrowed->Inner(), nullptr);
  EXPECT_EQ(memory->Position(), 2);
  EXPECT_EQ(memory->ReadUInt8(), 3);

  auto counted = Scripted({1});
  Ref<TBorrowedStream> other = TBorrowedStream::Borrow(counted.Get());
  other->Close();
  EXPECT_EQ(counted->closes, 0);
  // A closed borrowed stream no longer reaches the stream it wrapped.
  ExpectError<TRuntimeError>([&] { other->ReadUInt8(); }, "Attempt to access field or method of Null object");
}

}  // namespace
}  // namespace cvx
