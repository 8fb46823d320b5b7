// Pipe streams over pipes made in the test: the line reader, the buffer
// limit, and reads and writes at the edges.
#include "corvex/process/pipestream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace cvx {
namespace {

// A pipe whose read end is wrapped; the test writes into `in`.
struct Pipe {
  Pipe() {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    stream = TPipeByteStream::Wrap(fds[0], -1);
    in = fds[1];
  }
  ~Pipe() {
    if (in >= 0) ::close(in);
  }
  void Put(const std::string& bytes) const {
    ASSERT_EQ(::write(in, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  Ref<TPipeByteStream> stream;
  int in = -1;
};

TEST(PipeStream, LinesEndAtLineFeedAndDropTheirCarriageReturn) {
  Pipe pipe;
  EXPECT_EQ(pipe.stream->ReadTextLine(), String());  // nothing yet: no wait
  pipe.Put("abc\r\ndef");
  EXPECT_EQ(pipe.stream->ReadTextLine(), String("abc"));
  EXPECT_EQ(pipe.stream->ReadTextLine(), String());  // "def" has no end yet
  EXPECT_EQ(pipe.stream->ReadTextLine(), String());
  EXPECT_EQ(pipe.stream->Buffered(), 3);
  pipe.Put("\n\n\r\nghi\n\rjk\r\n");
  EXPECT_EQ(pipe.stream->ReadTextLine(), String("def"));
  EXPECT_EQ(pipe.stream->ReadTextLine(), String());  // empty line
  EXPECT_EQ(pipe.stream->ReadTextLine(), String());  // CR LF alone
  EXPECT_EQ(pipe.stream->ReadTextLine(), String("ghi"));
  EXPECT_EQ(pipe.stream->ReadTextLine(), String("jk"));  // a leading CR is dropped too
  EXPECT_EQ(pipe.stream->Buffered(), 0);
  // 8-bit bytes become characters 128..255.
  pipe.Put("\xE9t\xE9\n");
  const String line = pipe.stream->ReadTextLine();
  ASSERT_EQ(line.Length(), 3);
  EXPECT_EQ(line[0], 0xE9);
}

TEST(PipeStream, FullBufferWithoutLineEndRaises) {
  Pipe pipe;
  pipe.Put(std::string(5000, 'x'));
  EXPECT_EQ(pipe.stream->ReadTextLine(), String());  // takes the first 4096
  EXPECT_EQ(pipe.stream->Buffered(), TPipeByteStream::kLineBufferSize);
  try {
    pipe.stream->ReadTextLine();
    ADD_FAILURE() << "no error";
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "PipeStream ReadBuffer Overflow");
  }
  // A full buffer with nothing more waiting is not an error.
  Pipe quiet;
  quiet.Put(std::string(4096, 'y'));
  EXPECT_EQ(quiet.stream->ReadTextLine(), String());
  EXPECT_EQ(quiet.stream->ReadTextLine(), String());
}

TEST(PipeStream, ReadsSeeTheBytesTheLineReaderHolds) {
  Pipe pipe;
  pipe.Put("one\ntwo");
  EXPECT_EQ(pipe.stream->ReadTextLine(), String("one"));
  EXPECT_EQ(pipe.stream->BytesAvailable(), 0);  // "two" now sits in the line buffer
  char buffer[8] = {};
  EXPECT_EQ(pipe.stream->Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "tw");
  pipe.Put("-three");
  EXPECT_EQ(pipe.stream->BytesAvailable(), 6);
  Array<std::uint8_t> rest = pipe.stream->ReadAvailable();
  ASSERT_EQ(rest->Length(), 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rest->Data()), 7), "o-three");
  EXPECT_EQ(pipe.stream->ReadAvailable()->Length(), 0);
  // The end of the pipe: Read answers 0.
  ::close(pipe.in);
  pipe.in = -1;
  EXPECT_EQ(pipe.stream->Read(buffer, 8), 0);
}

TEST(PipeStream, TheEndComesOnceTheWriterHasGoneAndEveryByteIsTaken) {
  Pipe pipe;
  pipe.Put("ab\r\ncd");
  EXPECT_EQ(pipe.stream->AtEnd(), 0);
  EXPECT_EQ(pipe.stream->ReadTextLine(), String("ab"));
  EXPECT_EQ(pipe.stream->ReadTextLine(), String());  // the writer may still end the line
  ::close(pipe.in);
  pipe.in = -1;
  EXPECT_EQ(pipe.stream->AtEnd(), 0);  // "cd" is held
  EXPECT_EQ(pipe.stream->ReadTextLine(), String("cd"));
  EXPECT_EQ(pipe.stream->AtEnd(), 1);
  EXPECT_EQ(pipe.stream->Buffered(), 0);

  // Bytes still in the pipe when the writer goes are not the end yet.
  Pipe other;
  other.Put("xyz");
  ::close(other.in);
  other.in = -1;
  EXPECT_EQ(other.stream->AtEnd(), 0);
  char buffer[8] = {};
  EXPECT_EQ(other.stream->Read(buffer, 8), 3);
  EXPECT_EQ(other.stream->AtEnd(), 1);
  other.stream->Close();
  EXPECT_EQ(other.stream->AtEnd(), 1);
}

TEST(PipeStream, MissingEndsAndClosedReaders) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Ref<TPipeByteStream> writer = TPipeByteStream::Wrap(-1, fds[1]);
  char byte = 0;
  EXPECT_EQ(writer->Read(&byte, 1), 0);
  EXPECT_EQ(writer->BytesAvailable(), 0);
  EXPECT_EQ(writer->ReadAvailable()->Length(), 0);
  EXPECT_EQ(writer->Write("ab", 2), 2);
  // The reader goes: the write fails instead of ending the program on SIGPIPE.
  ::close(fds[0]);
  EXPECT_EQ(writer->Write("cd", 2), 0);
  writer->Close();
  EXPECT_EQ(writer->WriteHandle(), -1);
  EXPECT_EQ(writer->Write("ef", 2), 0);
  writer->Close();  // twice is harmless
}

}  // namespace
}  // namespace cvx
