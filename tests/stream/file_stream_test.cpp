#include <sys/stat.h>

#include <filesystem>
#include <limits>

#include "corvex/runtime/object.h"
#include "corvex/stream/filestream.h"
#include "corvex/stream/url.h"
#include "tests/stream/temp_dir.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::ExpectError;
using testing_streams::Std;

class FileStreamTest : public testing_streams::TempDir {};

TEST_F(FileStreamTest, OpenModes) {
  // Read and write together needs an existing file ("r+b" does not create).
  EXPECT_TRUE(TFileStream::OpenCFile(PathOf("missing"), 1, 1).IsNull());
  EXPECT_TRUE(TFileStream::OpenCFile(PathOf("missing"), 1, 0).IsNull());
  EXPECT_FALSE(std::filesystem::exists(PathOf("missing")));

  // Writeable alone creates, and truncates an existing file.
  WriteFile("old", "previous contents");
  Ref<TFileStream> w = TFileStream::OpenCFile(PathOf("old"), 0, 1);
  ASSERT_FALSE(w.IsNull());
  EXPECT_EQ(w->Mode(), TFileStream::kModeWrite);
  EXPECT_EQ(w->Size(), 0);
  w->WriteText("new");
  w->Close();
  EXPECT_EQ(ReadFile("old"), "new");

  Ref<TFileStream> r = TFileStream::OpenCFile(PathOf("old"), 1, 0);
  ASSERT_FALSE(r.IsNull());
  EXPECT_EQ(r->Mode(), TFileStream::kModeRead);
  EXPECT_EQ(r->Size(), 3);
  r->Close();
  Ref<TFileStream> rw = TFileStream::OpenCFile(PathOf("old"), 1, 1);
  ASSERT_FALSE(rw.IsNull());
  EXPECT_EQ(rw->Mode(), TFileStream::kModeReadWrite);
  rw->Close();
  // Neither flag reads.
  Ref<TFileStream> none = TFileStream::OpenCFile(PathOf("old"), 0, 0);
  ASSERT_FALSE(none.IsNull());
  EXPECT_EQ(none->Mode(), TFileStream::kModeRead);
  none->Close();

  // A directory, an empty path: null rather than a stream that cannot read.
  EXPECT_TRUE(TFileStream::OpenCFile(dir_, 1, 0).IsNull());
  EXPECT_TRUE(TFileStream::OpenCFile("", 1, 0).IsNull());
  EXPECT_TRUE(TFileStream::FromFileHandle(nullptr, 1).IsNull());
}

TEST_F(FileStreamTest, BackslashesBecomeSlashes) {
  std::filesystem::create_directory(PathOf("sub"));
  WriteFile("sub/file.bin", "xyz");
  std::string path = dir_ + "\\sub\\file.bin";
  Ref<TFileStream> s = TFileStream::OpenCFile(path, 1, 0);
  ASSERT_FALSE(s.IsNull());
  EXPECT_EQ(Std(s->ReadText(3)), "xyz");
  s->Close();
}

// The system would read a name only up to a 0 byte: opened for writing,
// "keep.txt\0.bak" would truncate keep.txt. Such a name opens nothing.
TEST_F(FileStreamTest, ANameHoldingAZeroByteOpensNothing) {
  WriteFile("keep.txt", "kept");
  const std::string name = PathOf("keep.txt");
  const String cut = String(name) + OfChar(0) + String(".bak");
  const String lowZero = String(name) + OfChar(0x100);  // a unit whose low byte is 0
  for (const String& path : {cut, lowZero}) {
    EXPECT_TRUE(TFileStream::OpenCFile(path, 0, 1).IsNull());
    EXPECT_TRUE(TFileStream::OpenCFile(path, 1, 1).IsNull());
    EXPECT_TRUE(TFileStream::OpenCFile(path, 1, 0).IsNull());
  }
  EXPECT_EQ(ReadFile("keep.txt"), "kept");
}

TEST_F(FileStreamTest, PositionSizeSeekAndEnd) {
  WriteFile("data", std::string("\x01\x02\x03\x04\x05\x06", 6));
  Ref<TFileStream> s = TFileStream::OpenCFile(PathOf("data"), 1, 0);
  ASSERT_FALSE(s.IsNull());
  EXPECT_EQ(s->Position(), 0);
  EXPECT_EQ(s->Size(), 6);
  EXPECT_EQ(s->ReadInt32(), 0x04030201);
  EXPECT_EQ(s->Position(), 4);
  EXPECT_EQ(s->ReadInt32(), 0x0605);  // cut short at the end
  EXPECT_TRUE(s->AtEnd());
  EXPECT_EQ(s->ReadInt32(), 0);
  EXPECT_EQ(s->Seek(1), 1);
  EXPECT_FALSE(s->AtEnd());
  EXPECT_EQ(s->ReadUInt8(), 2);
  s->Close();
  EXPECT_EQ(s->File(), nullptr);
  EXPECT_EQ(s->Position(), 0);
  EXPECT_EQ(s->Size(), 0);
  s->Close();  // a second close does nothing
  // A closed stream transfers nothing instead of touching a freed handle.
  std::uint8_t byte = 0;
  EXPECT_EQ(s->Read(&byte, 1), 0);
  EXPECT_EQ(s->Write(&byte, 1), 0);
  EXPECT_EQ(s->Seek(3), 0);
}

// A seek past the end of a file only read stops at the end, as on memory and
// bank streams: it used to leave the position past the size, never at the
// end, so that every read there raised (found by url_fuzz, "latin1::b.bin").
TEST_F(FileStreamTest, SeekPastTheEndOfAReadFileStopsAtTheEnd) {
  WriteFile("short", "abcdef");
  Ref<TFileStream> s = TFileStream::OpenCFile(PathOf("short"), 1, 0);
  ASSERT_FALSE(s.IsNull());
  EXPECT_EQ(s->Seek(100), 6);
  EXPECT_EQ(s->Position(), 6);
  EXPECT_TRUE(s->AtEnd());
  EXPECT_EQ(s->ReadInt32(), 0);
  EXPECT_EQ(s->ReadTextLine(), String());
  EXPECT_EQ(s->Seek(std::numeric_limits<std::int32_t>::max()), 6);
  EXPECT_EQ(s->Seek(-5), 0);
  EXPECT_EQ(s->ReadUInt8(), 'a');
}

TEST_F(FileStreamTest, WritesGrowTheSizeAndReadBack) {
  Ref<TFileStream> s = TFileStream::OpenCFile(PathOf("grow"), 0, 1);
  ASSERT_FALSE(s.IsNull());
  s->WriteInt32(7);
  EXPECT_EQ(s->Size(), 4);
  s->Seek(2);
  s->WriteUInt8(9);
  EXPECT_EQ(s->Size(), 4);  // overwriting inside keeps the size
  s->Seek(4);
  EXPECT_TRUE(s->WriteTextLine("ok"));
  EXPECT_EQ(s->Size(), 8);
  s->Close();
  EXPECT_EQ(ReadFile("grow"), std::string("\x07\x00\x09\x00ok\r\n", 8));
}

TEST_F(FileStreamTest, ReadAfterWriteOnOneHandle) {
  // Switching between writing and reading on one standard I/O file needs a
  // positioning call in between; the stream does it.
  WriteFile("mixed", "0123456789");
  Ref<TFileStream> s = TFileStream::OpenCFile(PathOf("mixed"), 1, 1);
  ASSERT_FALSE(s.IsNull());
  s->WriteText("ab");
  EXPECT_EQ(Std(s->ReadText(3)), "234");
  s->WriteText("XY");
  EXPECT_EQ(s->Position(), 7);
  EXPECT_EQ(Std(s->ReadText(3)), "789");
  EXPECT_TRUE(s->AtEnd());
  s->WriteText("!");
  EXPECT_EQ(s->Size(), 11);
  s->Close();
  EXPECT_EQ(ReadFile("mixed"), "ab234XY789!");
}

TEST_F(FileStreamTest, WrongDirectionRaisesTheStreamErrors) {
  WriteFile("ro", "abcd");
  Ref<TFileStream> ro = TFileStream::OpenCFile(PathOf("ro"), 1, 0);
  ASSERT_FALSE(ro.IsNull());
  ExpectError<TStreamWriteError>([&] { ro->WriteInt32(1); }, "Error writing to stream");
  ro->Close();
  EXPECT_EQ(ReadFile("ro"), "abcd");

  Ref<TFileStream> wo = TFileStream::OpenCFile(PathOf("wo"), 0, 1);
  ASSERT_FALSE(wo.IsNull());
  wo->WriteInt32(1);
  wo->Seek(0);
  ExpectError<TStreamReadError>([&] { wo->ReadInt32(); }, "Error reading from stream");
  wo->Close();
}

TEST_F(FileStreamTest, FromFileHandleKeepsThePosition) {
  WriteFile("handle", "hello world");
  std::FILE* f = std::fopen(PathOf("handle").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 6, SEEK_SET);
  Ref<TFileStream> s = TFileStream::FromFileHandle(f, TFileStream::kModeRead);
  EXPECT_EQ(s->Position(), 6);
  EXPECT_EQ(s->Size(), 11);
  EXPECT_EQ(Std(s->ReadTextLine()), "world");
  s->Close();  // closes the handle
}

TEST_F(FileStreamTest, UrlLoadBytesGrowsItsBuffer) {
  std::string content(1500, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13);
  WriteFile("f1500", content);
  Array<std::uint8_t> bytes = UrlLoadBytes(String(PathOf("f1500")));
  ASSERT_EQ(bytes->Length(), 1500);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes->Data()), 1500), content);

  WriteFile("empty", "");
  EXPECT_EQ(UrlLoadBytes(String(PathOf("empty")))->Length(), 0);

  std::string big(100000, 'b');
  big[99999] = 'e';
  WriteFile("big", big);
  Array<std::uint8_t> many = UrlLoadBytes(String(PathOf("big")));
  ASSERT_EQ(many->Length(), 100000);
  EXPECT_EQ((*many)[99999], 'e');
}

TEST_F(FileStreamTest, UrlSaveAndLoadRoundTrip) {
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(300);
  for (int i = 0; i < 300; ++i) (*bytes)[i] = static_cast<std::uint8_t>(i);
  UrlSaveBytes(bytes, String(PathOf("bytes")));
  Array<std::uint8_t> back = UrlLoadBytes(String(PathOf("bytes")));
  ASSERT_EQ(back->Length(), 300);
  for (int i = 0; i < 300; ++i) ASSERT_EQ((*back)[i], i & 0xFF);

  // Text: one byte per character, the low 8 bits; loads give codes 0 to 255.
  char16_t units[256];
  for (int i = 0; i < 256; ++i) units[i] = static_cast<char16_t>(i);
  units[65] = 0x2041;  // saved as 0x41
  UrlSaveText(String::OfUnits(units, 256), String(PathOf("text")));
  EXPECT_EQ(ReadFile("text").size(), 256u);
  String text = UrlLoadText(String(PathOf("text")));
  ASSERT_EQ(text.Length(), 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(text[i], i) << i;
}

TEST_F(FileStreamTest, UrlTransfersOnMissingUrlsRaise) {
  std::string missing = PathOf("no/such/file");
  ExpectError<TRuntimeError>([&] { UrlLoadBytes(String(missing)); },
                             "Attempt to access field or method of Null object");
  ExpectError<TRuntimeError>([&] { UrlLoadText("nosuchprotocol::x"); },
                             "Attempt to access field or method of Null object");
  ExpectError<TRuntimeError>([&] { UrlSaveText("x", String(missing)); },
                             "Attempt to access field or method of Null object");
  ExpectError<TRuntimeError>([&] { UrlSaveBytes(NewArray<std::uint8_t>(1), String(missing)); },
                             "Attempt to access field or method of Null object");
  // Objects: a url that does not open is simply no object.
  EXPECT_TRUE(UrlLoadObject(String(missing)).IsNull());
  UrlSaveObject(nullptr, String(missing));
  // A plain file stream has no object support.
  WriteFile("plain", "x");
  ExpectError<TRuntimeError>([&] { UrlLoadObject(String(PathOf("plain"))); }, "Unable to read object");
  ExpectError<TRuntimeError>([&] { UrlSaveObject(nullptr, String(PathOf("plain"))); }, "Unable to write object");
}

class CasedPathTest : public testing_streams::TempDir {};

TEST_F(CasedPathTest, FindsComponentsIgnoringCase) {
  std::filesystem::create_directories(PathOf("Medias/Sub"));
  WriteFile("Medias/Sub/Fire.TGA", "x");
  EXPECT_EQ(Std(CasedPath(String(PathOf("Medias/Sub/Fire.TGA")))), PathOf("Medias/Sub/Fire.TGA"));
  EXPECT_EQ(Std(CasedPath(String(PathOf("medias/SUB/fire.tga")))), PathOf("Medias/Sub/Fire.TGA"));
  EXPECT_EQ(Std(CasedPath(String(PathOf("MEDIAS")))), PathOf("Medias"));
  EXPECT_EQ(Std(CasedPath(String(PathOf("medias/sub/missing.tga")))), "");
  EXPECT_EQ(Std(CasedPath(String(PathOf("nothere/fire.tga")))), "");
  EXPECT_EQ(Std(CasedPath("")), "");
}

TEST_F(CasedPathTest, AbsoluteRootComponentAndRelativePaths) {
  WriteFile("Root.txt", "x");
  // The first component of an absolute path is looked up in "/".
  std::string upper = dir_;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  EXPECT_EQ(Std(CasedPath(String(upper + "/ROOT.TXT"))), PathOf("Root.txt"));

  // Relative paths are searched from the current directory.
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  EXPECT_EQ(Std(CasedPath("root.TXT")), "Root.txt");
  EXPECT_EQ(Std(CasedPath("./ROOT.txt")), "./Root.txt");
  std::filesystem::current_path(old);
}

}  // namespace
}  // namespace cvx
