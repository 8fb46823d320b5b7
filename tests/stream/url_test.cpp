#include "corvex/stream/url.h"

#include <filesystem>
#include <vector>

#include "corvex/runtime/list.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/filestream.h"
#include "corvex/stream/memorystream.h"
#include "tests/stream/temp_dir.h"
#include "tests/stream/test_streams.h"
#include "tests/support/log_capture.h"

namespace cvx {
namespace {

using testing_streams::Bytes;
using testing_streams::ExpectError;
using testing_streams::Scripted;
using testing_streams::Std;
using testing_streams::TScriptedStream;

// Records every request it sees and answers the protocol it was made for
// with a fresh scripted stream tagged by its id.
struct OpenerCall {
  int id;
  TObject* url;
  std::string protocol;
  std::string path;
  int readable;
  int writeable;
};
std::vector<OpenerCall> calls;

class TRecordingOpener final : public TStreamOpener {
 public:
  TRecordingOpener(int id, String protocol) : id_(id), protocol_(protocol) {}
  Ref<TByteStream> OpenUrl(TObject* url, const String& protocol, const String& path, int readable,
                           int writeable) override {
    calls.push_back({id_, url, protocol.ToStd(), path.ToStd(), readable, writeable});
    if (protocol != protocol_) return nullptr;
    Ref<TScriptedStream> s = Scripted({static_cast<std::uint8_t>(id_)});
    return s;
  }

 private:
  int id_;
  String protocol_;
};

// Openers are never removed, so the test ones are made once for the program.
void MakeTestOpeners() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
  new TRecordingOpener(1, "order");
  new TRecordingOpener(2, "order");  // newer: asked first, so it answers
  new TRecordingOpener(3, "");       // answers urls without a protocol
}

TEST(SplitUrl, FirstSeparatorAndLoweredProtocol) {
  String protocol, path;
  EXPECT_TRUE(SplitUrl("Incbin::Medias/Fire.tga", protocol, path));
  EXPECT_EQ(Std(protocol), "incbin");
  EXPECT_EQ(Std(path), "Medias/Fire.tga");
  EXPECT_TRUE(SplitUrl("BigEndian::incbin::A::B", protocol, path));
  EXPECT_EQ(Std(protocol), "bigendian");
  EXPECT_EQ(Std(path), "incbin::A::B");
  EXPECT_TRUE(SplitUrl("::x", protocol, path));
  EXPECT_EQ(Std(protocol), "");
  EXPECT_EQ(Std(path), "x");
  EXPECT_TRUE(SplitUrl("TCP::", protocol, path));
  EXPECT_EQ(Std(protocol), "tcp");
  EXPECT_EQ(Std(path), "");
  // Only A-Z are lowered.
  const char16_t units[] = {u'\u00C9', u'X', u':', u':', u'p'};
  EXPECT_TRUE(SplitUrl(String::OfUnits(units, 5), protocol, path));
  ASSERT_EQ(protocol.Length(), 2);
  EXPECT_EQ(protocol[0], 0xC9);
  EXPECT_EQ(protocol[1], u'x');
  EXPECT_FALSE(SplitUrl("c:/dir/file:name", protocol, path));
}

TEST(OpenUrlStream, OpenersAreAskedNewestFirst) {
  MakeTestOpeners();
  calls.clear();
  Ref<TByteStream> s = OpenUrlStream("ORDER::Some/Path", 1, 1);
  ASSERT_FALSE(s.IsNull());
  EXPECT_EQ(s->ReadUInt8(), 2);
  // Opener 3 (newest) was asked first and declined; opener 1 was never asked.
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].id, 3);
  EXPECT_EQ(calls[1].id, 2);
  EXPECT_EQ(calls[1].protocol, "order");
  EXPECT_EQ(calls[1].path, "Some/Path");  // the path keeps its case
  EXPECT_EQ(calls[1].readable, 1);
  EXPECT_EQ(calls[1].writeable, 1);
  EXPECT_TRUE(String::IsString(calls[1].url));
  EXPECT_EQ(Std(String::FromObject(calls[1].url)), "ORDER::Some/Path");
  EXPECT_EQ(FirstStreamOpener()->Next()->Next()->Next() != nullptr, true);  // the module's own openers follow
}

TEST(OpenUrlStream, UnknownProtocolsAndEmptyUrls) {
  MakeTestOpeners();
  calls.clear();
  EXPECT_TRUE(OpenUrlForReading("foo::bar").IsNull());
  EXPECT_GE(calls.size(), 3u);  // every opener was asked and none answered

  // Empty text and objects that are not text: empty protocol and path go to
  // the openers; no file is tried.
  calls.clear();
  Ref<TByteStream> empty = OpenUrlForReading(""_s);
  ASSERT_FALSE(empty.IsNull());
  EXPECT_EQ(empty->ReadUInt8(), 3);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].protocol, "");
  EXPECT_EQ(calls[0].path, "");
  EXPECT_EQ(calls[0].readable, 1);
  EXPECT_EQ(calls[0].writeable, 0);

  calls.clear();
  Ref<TList> list = NewList();
  Ref<TByteStream> fromList = OpenUrlForWriting(Ref<TObject>(list.Get()));
  ASSERT_FALSE(fromList.IsNull());
  EXPECT_EQ(calls[0].url, list.Get());  // the opener sees the object itself
  EXPECT_EQ(calls[0].writeable, 1);
}

TEST(OpenUrlStream, WithoutTheTestOpenersAnEmptyUrlIsNull) {
  // The module's own openers answer nothing for an empty url.
  InitStream();
  for (TStreamOpener* o = FirstStreamOpener(); o; o = o->Next()) {
    if (dynamic_cast<TRecordingOpener*>(o)) continue;
    EXPECT_TRUE(o->OpenUrl(nullptr, "", "", 1, 0).IsNull());
  }
}

TEST(OpenUrlStream, StreamsComeBackBorrowed) {
  std::uint8_t block[4] = {1, 2, 3, 4};
  Ref<TMemoryStream> memory = CreateMemoryStream(block, 4, 1, 0);
  // Whatever the flags: the caller's stream is borrowed, never reopened.
  Ref<TByteStream> s = OpenUrlStream(memory, 0, 1);
  ASSERT_FALSE(s.IsNull());
  auto* borrowed = dynamic_cast<TBorrowedStream*>(s.Get());
  ASSERT_NE(borrowed, nullptr);
  EXPECT_EQ(borrowed->Inner(), memory.Get());
  EXPECT_EQ(s->ReadUInt16(), 0x0201);
  s->Close();
  EXPECT_EQ(memory->Position(), 2);
  EXPECT_EQ(memory->ReadUInt8(), 3);

  auto counted = Scripted({9, 8, 7});
  Array<std::uint8_t> bytes = UrlLoadBytes(counted);
  EXPECT_EQ(bytes->Length(), 3);
  EXPECT_EQ(counted->closes, 0);  // loading from a stream leaves it open
}

// A source of `left` bytes that hands out all it is asked for at once, without
// writing them: loading it costs the loader's own buffers only.
class TLongSource final : public TByteStream {
 public:
  explicit TLongSource(std::int64_t left) : left_(left) {}
  int AtEnd() override { return left_ == 0; }
  std::int32_t Read(void*, std::int32_t count) override {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, left_));
    left_ -= n;
    return n;
  }

 private:
  std::int64_t left_;
};

TEST(UrlLoadBytes, ASourceTooLongToHoldRaisesInsteadOfOverflowing) {
  // Past about a gigabyte the buffer's next size (length * 3 / 2) no longer
  // fits an int; the load must fail with an error, not copy into a buffer that
  // came out empty.
  Ref<TByteStream> source = new TLongSource(std::int64_t{3} << 30);
  EXPECT_THROW(UrlLoadBytes(Ref<TObject>(source)), TRuntimeError);
}

class UrlFileTest : public testing_streams::TempDir {};

TEST_F(UrlFileTest, TextWithoutSeparatorIsAFile) {
  MakeTestOpeners();
  WriteFile("foo", "file bytes");
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  calls.clear();
  Ref<TByteStream> s = OpenUrlForReading("foo");
  std::filesystem::current_path(old);
  ASSERT_FALSE(s.IsNull());
  EXPECT_NE(dynamic_cast<TFileStream*>(s.Get()), nullptr);
  EXPECT_TRUE(calls.empty());  // no opener is asked for a file
  EXPECT_EQ(Std(s->ReadTextLine()), "file bytes");
  s->Close();

  // A missing file is null, and no opener is asked either.
  EXPECT_TRUE(OpenUrlForReading(String(PathOf("nothing"))).IsNull());
  EXPECT_TRUE(calls.empty());
  // A file path with a protocol-like prefix is not a file.
  EXPECT_TRUE(OpenUrlForReading(String("file::" + PathOf("foo"))).IsNull());
}

TEST_F(UrlFileTest, AUrlThatDoesNotOpenLogsOneWarningThatSaysWhy) {
  InitStream();
  auto warningOf = [](auto open) {
    test::LogCapture log(LogLevel::Warning);
    EXPECT_TRUE(open().IsNull());
    EXPECT_EQ(log.Warnings().size(), 1u);
    return log.Warnings().empty() ? std::string() : log.Warnings().front();
  };
  const std::string missing = PathOf("missing.bin");
  std::string why = warningOf([&] { return OpenUrlForReading(String(missing)); });
  EXPECT_NE(why.find(missing), std::string::npos) << why;
  EXPECT_NE(why.find("for reading: No such file or directory"), std::string::npos) << why;

  why = warningOf([&] { return OpenUrlForReading(String(dir_)); });
  EXPECT_NE(why.find("Is a directory"), std::string::npos) << why;

  why = warningOf([&] { return OpenUrlForWriting(String(PathOf("no/such/dir/out.bin"))); });
  EXPECT_NE(why.find("for writing: No such file or directory"), std::string::npos) << why;

  why = warningOf([] { return OpenUrlForReading("incbin::not/embedded.png"_s); });
  EXPECT_NE(why.find("\"incbin::not/embedded.png\""), std::string::npos) << why;
  EXPECT_NE(why.find("no embedded file is named \"not/embedded.png\""), std::string::npos) << why;

  why = warningOf([] { return OpenUrlForReading("nosuchprotocol::x"_s); });
  EXPECT_NE(why.find("no stream opener takes protocol \"nosuchprotocol\""), std::string::npos) << why;

  // A url that opens says nothing.
  WriteFile("present", "x");
  test::LogCapture quiet(LogLevel::Warning);
  EXPECT_FALSE(OpenUrlForReading(String(PathOf("present"))).IsNull());
  EXPECT_TRUE(quiet.Warnings().empty());
}

// Filters name each other, so a url can stack them; thousands of prefixes
// (from a file or a peer) must not take the opener down with the stack.
TEST_F(UrlFileTest, DeeplyNestedFiltersDoNotOpenAndSayWhyOnce) {
  InitStream();
  WriteFile("present", "line\r\n");
  auto nested = [this](int depth) {
    std::string url;
    for (int i = 0; i < depth; ++i) url += "littleendian::";
    return String(url + PathOf("present"));
  };
  {
    // A few filters deep is an ordinary url.
    Ref<TByteStream> s = OpenUrlForReading(nested(8));
    ASSERT_FALSE(s.IsNull());
    EXPECT_EQ(s->ReadTextLine().ToStd(), "line");
  }
  test::LogCapture log(LogLevel::Warning);
  EXPECT_TRUE(OpenUrlForReading(nested(20000)).IsNull());
  ASSERT_EQ(log.Warnings().size(), 1u);
  EXPECT_NE(log.Warnings().front().find("nests more than 64 stream filters"), std::string::npos)
      << log.Warnings().front();
  // The refusal is over with that url: the next failure is told as usual.
  EXPECT_TRUE(OpenUrlForReading(String(PathOf("missing"))).IsNull());
  ASSERT_EQ(log.Warnings().size(), 2u);
  EXPECT_NE(log.Warnings().back().find("No such file"), std::string::npos) << log.Warnings().back();
}

class TObjectStream final : public TScriptedStream {
 public:
  Ref<TObject> ReadSerialized() override { return String("stored object"); }
  void WriteSerialized(TObject* object) override { saved = object; }
  Ref<TObject> saved;
};
Ref<TObjectStream> lastObjectStream;

class TObjectOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject*, const String& protocol, const String& path, int, int) override {
    if (protocol != "objects"_s) return nullptr;
    if (path == "broken"_s) return Scripted();  // no object support
    lastObjectStream = new TObjectStream();
    return lastObjectStream;
  }
};

TEST(UrlObjects, LoadAndSaveGoThroughTheStreamAndClose) {
  static bool made = false;
  if (!made) {
    made = true;
    new TObjectOpener();
  }
  Ref<TObject> loaded = UrlLoadObject("objects::a");
  EXPECT_EQ(Std(String::FromObject(loaded.Get())), "stored object");
  EXPECT_EQ(lastObjectStream->closes, 1);

  Ref<TList> list = NewList();
  UrlSaveObject(list.Get(), "objects::b");
  EXPECT_EQ(lastObjectStream->saved.Get(), list.Get());
  EXPECT_EQ(lastObjectStream->closes, 1);

  ExpectError<TRuntimeError>([] { UrlLoadObject("objects::broken"); }, "Unable to read object");
  EXPECT_TRUE(UrlLoadObject("nobody::x").IsNull());
  lastObjectStream = nullptr;
}

}  // namespace
}  // namespace cvx
