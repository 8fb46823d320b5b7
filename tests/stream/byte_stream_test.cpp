#include <cmath>
#include <limits>

#include "corvex/stream/memorystream.h"
#include "corvex/stream/stream.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Bytes;
using testing_streams::ExpectError;
using testing_streams::Scripted;
using testing_streams::Std;

TEST(StreamBase, DefaultPrimitivesAndTheirErrors) {
  Ref<TStreamBase> base(new TStreamBase());
  EXPECT_EQ(base->Position(), -1);
  EXPECT_EQ(base->Size(), 0);
  EXPECT_EQ(base->Seek(5), -1);
  EXPECT_FALSE(base->AtEnd());  // -1 is not 0
  base->Flush();
  base->Close();
  base->Close();
  char byte = 0;
  ExpectError<TRuntimeError>([&] { base->Read(&byte, 1); }, "Stream is not readable");
  ExpectError<TRuntimeError>([&] { base->Write(&byte, 1); }, "Stream is not writeable");

  // A byte stream that implements no primitive raises the same texts through
  // the typed operations.
  Ref<TByteStream> bare(new TByteStream());
  ExpectError<TRuntimeError>([&] { bare->ReadInt32(); }, "Stream is not readable");
  ExpectError<TRuntimeError>([&] { bare->WriteInt32(1); }, "Stream is not writeable");
  ExpectError<TRuntimeError>([&] { bare->ReadSerialized(); }, "Unable to read object");
  ExpectError<TRuntimeError>([&] { bare->WriteSerialized(nullptr); }, "Unable to write object");
}

// Data types ask the stream they are handed for its typed operations: only
// byte streams (and everything built on them) have them.
TEST(StreamBase, OnlyByteStreamsAnswerAsByteStreams) {
  Ref<TStreamBase> base(new TStreamBase());
  EXPECT_EQ(base->AsByteStream(), nullptr);
  Ref<TByteStream> bare(new TByteStream());
  TStreamBase* asBase = bare.Get();
  EXPECT_EQ(asBase->AsByteStream(), bare.Get());
  Ref<TMemoryStream> memory = CreateMemoryStream(nullptr, 0, 1, 0);
  asBase = memory.Get();
  EXPECT_EQ(asBase->AsByteStream(), static_cast<TByteStream*>(memory.Get()));
}

TEST(StreamErrors, TextsAndHierarchy) {
  EXPECT_STREQ(TStreamReadError().what(), "Error reading from stream");
  EXPECT_STREQ(TStreamWriteError().what(), "Error writing to stream");
  // Callers that catch runtime errors catch stream errors too.
  auto s = Scripted({1, 2, 3});
  s->stallAt = 1;
  EXPECT_THROW(s->ReadInt32(), TStreamError);
  s->pos = 1;
  EXPECT_THROW(s->ReadInt32(), TRuntimeError);
  // The object texts are not stream errors: a decoder failing on them is a
  // real error, not a failed decode.
  try {
    s->ReadSerialized();
  } catch (const TStreamError&) {
    ADD_FAILURE() << "ReadSerialized raised a stream error";
  } catch (const TRuntimeError&) {
  }
}

TEST(TypedReads, LittleEndianValuesAndShortEnds) {
  auto s = Scripted({0x01, 0x02});
  EXPECT_EQ(s->ReadInt32(), 513);  // cut short: the missing high bytes are zero
  EXPECT_TRUE(s->AtEnd());
  EXPECT_EQ(s->ReadInt32(), 0);
  EXPECT_EQ(s->ReadUInt8(), 0);
  EXPECT_EQ(s->ReadInt64(), 0);
  EXPECT_EQ(s->ReadFloat64(), 0.0);

  auto t = Scripted({0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x80, 0x7F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88});
  EXPECT_EQ(t->ReadUInt16(), 65535);
  EXPECT_EQ(t->ReadInt32(), -2);
  EXPECT_EQ(t->ReadUInt8(), 0x80);
  EXPECT_EQ(t->ReadUInt8(), 0x7F);
  EXPECT_EQ(t->ReadInt64(), static_cast<std::int64_t>(0x8807060504030201ULL));
}

TEST(TypedReads, ShortReadsAreAssembled) {
  // One byte per Read call: ReadExact loops until the value is whole.
  auto s = Scripted({0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB, 0xCC});
  s->maxChunk = 1;
  EXPECT_EQ(s->ReadInt32(), 0x12345678);
  EXPECT_EQ(s->reads, 4);
  Bytes buffer(5, 0xEE);
  EXPECT_EQ(s->ReadExact(buffer.data(), 5), 5);              // the requested count, also at the end
  EXPECT_EQ(buffer, (Bytes{0xAA, 0xBB, 0xCC, 0xEE, 0xEE}));  // the rest stays as it was
}

TEST(TypedReads, ReadThatBringsNothingBeforeTheEndIsAnError) {
  auto s = Scripted({1, 2, 3, 4, 5, 6});
  s->stallAt = 2;
  ExpectError<TStreamReadError>([&] { s->ReadInt32(); }, "Error reading from stream");
  s->pos = 0;
  ExpectError<TStreamReadError>([&] { s->SkipExact(4); }, "Error reading from stream");
  s->pos = 0;
  EXPECT_EQ(s->ReadUInt16(), 0x0201);  // enough before the stall
}

TEST(TypedWrites, ExactBytesAndLowBits) {
  auto s = Scripted();
  s->WriteUInt16(70000);
  s->WriteUInt8(0x1FF);
  s->WriteInt32(-2);
  s->WriteInt64(0x0102030405060708LL);
  EXPECT_EQ(s->written, (Bytes{0x70, 0x11, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4, 3, 2, 1}));

  auto f = Scripted();
  f->WriteFloat32(1.0f);
  f->WriteFloat64(-2.0);
  EXPECT_EQ(f->written, (Bytes{0, 0, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0xC0}));
  f->data = f->written;
  EXPECT_EQ(f->ReadFloat32(), 1.0f);
  EXPECT_EQ(f->ReadFloat64(), -2.0);
}

TEST(TypedWrites, RoundTripExtremes) {
  auto s = Scripted();
  s->WriteInt32(std::numeric_limits<std::int32_t>::min());
  s->WriteInt64(std::numeric_limits<std::int64_t>::min());
  s->WriteFloat32(std::numeric_limits<float>::infinity());
  s->WriteFloat64(std::nan(""));
  s->WriteUInt16(-1);
  s->data = s->written;
  EXPECT_EQ(s->ReadInt32(), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(s->ReadInt64(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(s->ReadFloat32(), std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(s->ReadFloat64()));
  EXPECT_EQ(s->ReadUInt16(), 65535);
}

TEST(TypedWrites, WriteThatTakesNothingIsAnError) {
  auto s = Scripted();
  s->writeRoom = 3;
  ExpectError<TStreamWriteError>([&] { s->WriteInt32(7); }, "Error writing to stream");
  EXPECT_EQ(s->written.size(), 3u);  // what fitted went out
  // Partial writes are continued until the whole value is out.
  auto t = Scripted();
  t->WriteExact("abcdef", 6);
  EXPECT_EQ(t->written.size(), 6u);
}

TEST(SkipExact, SkipsInChunksAndStopsAtTheEnd) {
  Bytes data(3000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  auto s = Scripted(data);
  EXPECT_EQ(s->SkipExact(2500), 2500);
  EXPECT_EQ(s->reads, 3);  // 1024 + 1024 + 452
  EXPECT_EQ(s->Position(), 2500);
  EXPECT_EQ(s->ReadUInt8(), 2500 & 0xFF);
  EXPECT_EQ(s->SkipExact(10000), 10000);  // past the end: no error
  EXPECT_TRUE(s->AtEnd());
}

TEST(ReadTextLine, LineEndsAndTerminators) {
  auto s = Scripted({'a', 'b', 13, 10, 'c', 'd'});
  EXPECT_EQ(Std(s->ReadTextLine()), "ab");
  EXPECT_EQ(Std(s->ReadTextLine()), "cd");
  EXPECT_EQ(Std(s->ReadTextLine()), "");
  EXPECT_EQ(Std(s->ReadTextLine()), "");

  auto z = Scripted({'a', 0, 'b'});
  EXPECT_EQ(Std(z->ReadTextLine()), "a");
  EXPECT_EQ(Std(z->ReadTextLine()), "b");

  // CR is dropped wherever it stands; a lone CR does not end the line; LF alone does.
  auto c = Scripted({'x', 13, 'y', 10, 13, 13, 10, 'z', 10, 10});
  EXPECT_EQ(Std(c->ReadTextLine()), "xy");
  EXPECT_EQ(Std(c->ReadTextLine()), "");
  EXPECT_EQ(Std(c->ReadTextLine()), "z");
  EXPECT_EQ(Std(c->ReadTextLine()), "");
  EXPECT_TRUE(c->AtEnd());
}

TEST(ReadTextLine, LongLinesAndHighBytes) {
  Bytes data(3000, 'q');
  data.push_back(0xE9);
  data.push_back(10);
  data.push_back('n');
  auto s = Scripted(data);
  s->maxChunk = 1;
  String line = s->ReadTextLine();
  ASSERT_EQ(line.Length(), 3001);
  EXPECT_EQ(line[0], u'q');
  EXPECT_EQ(line[2999], u'q');
  EXPECT_EQ(line[3000], 0xE9);
  EXPECT_EQ(Std(s->ReadTextLine()), "n");
}

TEST(ReadTextLine, StopsWhenAReadBringsNothing) {
  // No error: a line read ends at whatever the stream can give.
  auto s = Scripted({'a', 'b', 'c', 'd'});
  s->stallAt = 2;
  EXPECT_EQ(Std(s->ReadTextLine()), "ab");
}

TEST(WriteTextLine, BytesAndShortWrites) {
  auto s = Scripted();
  EXPECT_TRUE(s->WriteTextLine("x"));
  EXPECT_EQ(s->written, (Bytes{0x78, 0x0D, 0x0A}));
  EXPECT_EQ(s->writes, 2);

  auto e = Scripted();
  EXPECT_TRUE(e->WriteTextLine(""));
  EXPECT_EQ(e->written, (Bytes{13, 10}));

  // The text was cut short: no line end after it, and false.
  auto cut = Scripted();
  cut->writeRoom = 2;
  EXPECT_FALSE(cut->WriteTextLine("abc"));
  EXPECT_EQ(cut->written, (Bytes{'a', 'b'}));
  EXPECT_EQ(cut->writes, 1);

  // The text fitted but the line end did not.
  auto end = Scripted();
  end->writeRoom = 4;
  EXPECT_FALSE(end->WriteTextLine("abc"));
  EXPECT_EQ(end->written, (Bytes{'a', 'b', 'c', 13}));

  // Characters above 255 keep their low 8 bits.
  auto wide = Scripted();
  const char16_t units[] = {0x20AC, u'A'};
  EXPECT_TRUE(wide->WriteTextLine(String::OfUnits(units, 2)));
  EXPECT_EQ(wide->written, (Bytes{0xAC, 'A', 13, 10}));
}

TEST(ReadText, LengthBytesAndZerosPastTheEnd) {
  auto s = Scripted({'h', 'e', 'l', 'l', 'o', 0xFF});
  EXPECT_EQ(Std(s->ReadText(4)), "hell");
  String rest = s->ReadText(4);
  ASSERT_EQ(rest.Length(), 4);
  EXPECT_EQ(rest[0], u'o');
  EXPECT_EQ(rest[1], 0xFF);
  EXPECT_EQ(rest[2], 0);
  EXPECT_EQ(rest[3], 0);
  EXPECT_EQ(s->ReadText(0).Length(), 0);
  EXPECT_EQ(s->ReadText(-3).Length(), 0);

  auto w = Scripted();
  w->WriteText("ab\nc");
  EXPECT_EQ(w->written, (Bytes{'a', 'b', '\n', 'c'}));
}

TEST(FreeFunctions, ForwardAndRejectNull) {
  auto s = Scripted();
  StreamWriteInt32(s.Get(), 5);
  StreamWriteUInt16(s.Get(), 6);
  StreamWriteUInt8(s.Get(), 7);
  StreamWriteInt64(s.Get(), -8);
  StreamWriteFloat32(s.Get(), 0.5f);
  StreamWriteFloat64(s.Get(), 0.25);
  EXPECT_TRUE(StreamWriteTextLine(s.Get(), "line"));
  StreamWriteText(s.Get(), "tx");
  s->data = s->written;
  EXPECT_EQ(StreamSize(s.Get()), static_cast<std::int32_t>(s->written.size()));
  EXPECT_EQ(StreamReadInt32(s.Get()), 5);
  EXPECT_EQ(StreamReadUInt16(s.Get()), 6);
  EXPECT_EQ(StreamReadUInt8(s.Get()), 7);
  EXPECT_EQ(StreamReadInt64(s.Get()), -8);
  EXPECT_EQ(StreamReadFloat32(s.Get()), 0.5f);
  EXPECT_EQ(StreamReadFloat64(s.Get()), 0.25);
  EXPECT_EQ(Std(StreamReadTextLine(s.Get())), "line");
  EXPECT_EQ(Std(StreamReadText(s.Get(), 2)), "tx");
  EXPECT_TRUE(StreamAtEnd(s.Get()));
  EXPECT_EQ(StreamSeek(s.Get(), 1), 1);
  EXPECT_EQ(StreamPosition(s.Get()), 1);
  StreamFlush(s.Get());
  StreamClose(s.Get());
  EXPECT_EQ(s->closes, 1);
  ExpectError<TRuntimeError>([] { StreamReadInt32(nullptr); }, "Attempt to access field or method of Null object");
  ExpectError<TRuntimeError>([] { StreamClose(nullptr); }, "Attempt to access field or method of Null object");
}

TEST(StreamCopy, CopiesUntilTheEnd) {
  Bytes data(10000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  auto from = Scripted(data);
  from->maxChunk = 333;
  auto to = Scripted();
  StreamCopy(from.Get(), to.Get(), 1000);
  EXPECT_EQ(to->written, data);

  // A source that stops giving bytes before its end ends the copy instead of
  // looping forever.
  auto stalled = Scripted(data);
  stalled->stallAt = 100;
  auto sink = Scripted();
  StreamCopy(stalled.Get(), sink.Get(), 64);
  EXPECT_EQ(sink->written.size(), 100u);

  // A buffer size below 1 falls back to a usable one.
  auto again = Scripted(data);
  auto out = Scripted();
  StreamCopy(again.Get(), out.Get(), 0);
  EXPECT_EQ(out->written, data);
}

TEST(StreamCopyBytes, CountsWhatItCopied) {
  Bytes data(5000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  auto from = Scripted(data);
  auto to = Scripted();
  EXPECT_EQ(StreamCopyBytes(from.Get(), to.Get(), 2100, 1000), 2100);
  EXPECT_EQ(to->writes, 3);  // 1000 + 1000 + 100
  EXPECT_EQ(from->Position(), 2100);
  EXPECT_EQ(to->written, Bytes(data.begin(), data.begin() + 2100));

  // Asking for more than the source holds copies only the source's bytes.
  auto rest = Scripted();
  EXPECT_EQ(StreamCopyBytes(from.Get(), rest.Get(), 10000, 1024), 2900);
  EXPECT_EQ(rest->written, Bytes(data.begin() + 2100, data.end()));

  EXPECT_EQ(StreamCopyBytes(from.Get(), rest.Get(), 0, 1024), 0);
  EXPECT_EQ(StreamCopyBytes(from.Get(), rest.Get(), -5, 1024), 0);

  auto stalled = Scripted(data);
  stalled->stallAt = 10;
  ExpectError<TStreamReadError>([&] { StreamCopyBytes(stalled.Get(), rest.Get(), 20, 8); },
                                "Error reading from stream");

  auto full = Scripted();
  full->writeRoom = 5;
  auto src = Scripted(data);
  ExpectError<TStreamWriteError>([&] { StreamCopyBytes(src.Get(), full.Get(), 20, 8); }, "Error writing to stream");
}

}  // namespace
}  // namespace cvx
