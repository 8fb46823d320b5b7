// Text lines read from files: lines that lie whole in stdio's buffer are taken
// from it directly, the rest byte by byte, and both must agree with each other,
// with the stream's position and with reads that follow.
#include <cstdio>
#include <string>
#include <vector>

#include "corvex/stream/filestream.h"
#include "tests/stream/temp_dir.h"
#include "tests/stream/test_streams.h"

namespace cvx {
namespace {

using testing_streams::Std;

class FileLinesTest : public testing_streams::TempDir {};

struct Line {
  std::string text;
  std::int32_t endsAt;  // the position after the line and its terminator
};

// The lines of bytes as ReadTextLine defines them: ended by LF, by a 0 byte or
// by the end of the data, CR bytes dropped.
std::vector<Line> ExpectedLines(const std::string& bytes) {
  std::vector<Line> lines;
  std::size_t at = 0;
  while (at < bytes.size()) {
    Line line;
    while (at < bytes.size() && bytes[at] != '\n' && bytes[at] != '\0') {
      if (bytes[at] != '\r') line.text.push_back(bytes[at]);
      ++at;
    }
    if (at < bytes.size()) ++at;
    line.endsAt = static_cast<std::int32_t>(at);
    lines.push_back(line);
  }
  return lines;
}

// Lines of every length from 0 to 700, so that many of them straddle the
// 4 KB buffer; CR LF, lone CR, 0 terminators and a last line without an end.
std::string ManyLines() {
  std::string bytes;
  for (int n = 0; n <= 700; n += 7) {
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<char>('a' + (i + n) % 26));
    if (n % 3 == 0) bytes += "\r\n";
    else if (n % 5 == 0) bytes.push_back('\0');
    else if (n % 11 == 0) bytes += "x\ry\n";
    else bytes.push_back('\n');
  }
  bytes += "last line without an end";
  return bytes;
}

TEST_F(FileLinesTest, EveryLineAndPositionMatchesTheLineRulesAcrossBufferEnds) {
  const std::string bytes = ManyLines();
  WriteFile("lines.txt", bytes);
  const std::vector<Line> expected = ExpectedLines(bytes);
  Ref<TFileStream> file = TFileStream::OpenCFile(String(PathOf("lines.txt")), 1, 0);
  ASSERT_TRUE(file);
  std::size_t wrongText = 0, wrongPosition = 0, count = 0;
  while (!file->AtEnd() && count < expected.size() + 1) {
    std::string line = Std(file->ReadTextLine());
    if (count < expected.size()) {
      if (line != expected[count].text) ++wrongText;
      if (file->Position() != expected[count].endsAt) ++wrongPosition;
    }
    ++count;
  }
  EXPECT_EQ(count, expected.size());
  EXPECT_EQ(wrongText, 0u);
  EXPECT_EQ(wrongPosition, 0u);
  EXPECT_EQ(Std(file->ReadTextLine()), "");
  EXPECT_EQ(file->AtEnd(), 1);
}

// A line taken from the buffer must leave stdio just past its terminator:
// the raw reads and the next line go on from there.
TEST_F(FileLinesTest, ReadsAfterALineGoOnPastItsTerminator) {
  WriteFile("mixed.bin", std::string("first\r\nAB", 9) + std::string("\0second\n", 8) + "tail");
  Ref<TFileStream> file = TFileStream::OpenCFile(String(PathOf("mixed.bin")), 1, 0);
  ASSERT_TRUE(file);
  EXPECT_EQ(Std(file->ReadTextLine()), "first");
  EXPECT_EQ(file->ReadUInt8(), 'A');
  EXPECT_EQ(Std(file->ReadTextLine()), "B");
  EXPECT_EQ(Std(file->ReadTextLine()), "second");
  EXPECT_EQ(file->Position(), 17);
  EXPECT_EQ(file->AtEnd(), 0);
  EXPECT_EQ(Std(file->ReadTextLine()), "tail");
  EXPECT_EQ(file->AtEnd(), 1);
  EXPECT_EQ(file->Seek(6), 6);
  EXPECT_EQ(file->AtEnd(), 0);
  EXPECT_EQ(Std(file->ReadTextLine()), "");
  EXPECT_EQ(Std(file->ReadTextLine()), "AB");
}

// A handle of the caller's: a byte it pushed back comes first, and lines
// written on the same handle read back after a seek.
TEST_F(FileLinesTest, CallersHandlePushedBackBytesAndWrittenLines) {
  WriteFile("handle.txt", "one\ntwo\n");
  std::FILE* handle = std::fopen(PathOf("handle.txt").c_str(), "r+b");
  ASSERT_NE(handle, nullptr);
  Ref<TFileStream> file = TFileStream::FromFileHandle(handle, TFileStream::kModeReadWrite);
  EXPECT_EQ(Std(file->ReadTextLine()), "one");
  ASSERT_EQ(std::ungetc('n', handle), 'n');
  EXPECT_EQ(Std(file->ReadTextLine()), "ntwo");
  file->WriteTextLine("three"_s);
  file->Seek(0);
  EXPECT_EQ(Std(file->ReadTextLine()), "one");
  EXPECT_EQ(Std(file->ReadTextLine()), "two");
  EXPECT_EQ(Std(file->ReadTextLine()), "three");
  file->Close();
}

}  // namespace
}  // namespace cvx
