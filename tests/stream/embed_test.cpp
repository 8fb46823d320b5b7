#include "corvex/stream/embed.h"

#include <cstring>
#include <string>

#include "corvex/stream/memorystream.h"
#include "corvex/stream/url.h"
#include "tests/stream/test_streams.h"

namespace cvx::embedded {
extern const unsigned char stream_test_sample[];
extern const std::size_t stream_test_sample_size;
}  // namespace cvx::embedded

namespace cvx {
namespace {

using testing_streams::Std;

const char kSampleText[] = "Corvex embedded resource\nsecond line\r\n";

void RegisterSample() {
  EmbedRegister("Tests/Sample.txt", embedded::stream_test_sample,
                static_cast<std::int32_t>(embedded::stream_test_sample_size));
}

TEST(Embed, BuildStepBytesOpenAsIncbin) {
  RegisterSample();
  ASSERT_EQ(embedded::stream_test_sample_size, sizeof kSampleText - 1);
  EXPECT_EQ(std::memcmp(embedded::stream_test_sample, kSampleText, sizeof kSampleText - 1), 0);

  Ref<TByteStream> s = OpenUrlForReading("incbin::Tests/Sample.txt");
  ASSERT_FALSE(s.IsNull());
  auto* memory = dynamic_cast<TMemoryStream*>(s.Get());
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(memory->Data(), embedded::stream_test_sample);  // no copy
  EXPECT_FALSE(memory->Writeable());
  EXPECT_EQ(s->Size(), static_cast<std::int32_t>(sizeof kSampleText - 1));
  EXPECT_EQ(Std(s->ReadTextLine()), "Corvex embedded resource");
  EXPECT_EQ(Std(s->ReadTextLine()), "second line");
  EXPECT_TRUE(s->AtEnd());
  s->Close();

  EXPECT_EQ(Std(UrlLoadText("Incbin::Tests/Sample.txt")), kSampleText);
}

TEST(Embed, NamesMatchExactlyAndIncbinIsReadOnly) {
  RegisterSample();
  EXPECT_TRUE(OpenUrlForReading("incbin::tests/sample.txt").IsNull());
  EXPECT_TRUE(OpenUrlForReading("incbin::Tests/Sample.txt ").IsNull());
  EXPECT_TRUE(OpenUrlForWriting("incbin::Tests/Sample.txt").IsNull());
  EXPECT_TRUE(OpenUrlStream("incbin::Tests/Sample.txt", 1, 1).IsNull());
  // Neither flag: a stream that cannot read.
  Ref<TByteStream> closed = OpenUrlStream("incbin::Tests/Sample.txt", 0, 0);
  ASSERT_FALSE(closed.IsNull());
  std::uint8_t byte = 0;
  EXPECT_EQ(closed->Read(&byte, 1), 0);
}

TEST(Embed, DuplicateNamesKeepTheFirstEntry) {
  static const std::uint8_t first[3] = {1, 2, 3};
  static const std::uint8_t second[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(EmbedRegister("dup.bin", first, 3), 1);
  EmbeddedBlob* head = FirstEmbeddedBlob();
  EXPECT_EQ(EmbedRegister("dup.bin", second, 5), 0);
  EXPECT_EQ(FirstEmbeddedBlob(), head);  // nothing was added
  EXPECT_EQ(EmbedAddress("dup.bin"), first);
  EXPECT_EQ(EmbedSize("dup.bin"), 3);
  EmbeddedBlob* blob = EmbedLookup("dup.bin");
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(Std(blob->Name()), "dup.bin");
  // A different case is a different name.
  EXPECT_EQ(EmbedRegister("DUP.bin", second, 5), 1);
  EXPECT_EQ(EmbedSize("DUP.bin"), 5);
  EXPECT_EQ(EmbedSize("dup.bin"), 3);
  Ref<TByteStream> s = OpenUrlForReading("incbin::dup.bin");
  ASSERT_FALSE(s.IsNull());
  EXPECT_EQ(s->Size(), 3);
  EXPECT_EQ(s->ReadUInt8(), 1);
}

TEST(Embed, MissingNames) {
  EXPECT_EQ(EmbedLookup("never registered"), nullptr);
  EXPECT_EQ(EmbedAddress("never registered"), nullptr);
  EXPECT_EQ(EmbedSize("never registered"), 0);
  EXPECT_TRUE(OpenUrlForReading("incbin::never registered").IsNull());
  EXPECT_TRUE(OpenUrlForReading("incbin::").IsNull());
  // A name registered without bytes does not open.
  EXPECT_EQ(EmbedRegister("no bytes", nullptr, 10), 1);
  EXPECT_TRUE(OpenUrlForReading("incbin::no bytes").IsNull());
  // The registered name is held: a temporary text used to register stays valid.
  {
    static const std::uint8_t bytes[2] = {5, 6};
    String name = String("held-") + String::OfInt(42);
    EXPECT_EQ(EmbedRegister(name, bytes, 2), 1);
  }
  ReclaimMemory();
  EXPECT_EQ(EmbedSize("held-42"), 2);
}

}  // namespace
}  // namespace cvx
