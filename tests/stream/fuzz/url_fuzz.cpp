// libFuzzer target: arbitrary urls opened for reading. The input is a header
// (a mode byte and a count, raw or one of the extremes) and then the url, as
// Latin-1 bytes or as UTF-8; the mode may instead open a bank or a memory
// stream holding those bytes. The fuzzer works in a fresh temporary directory
// holding a few small files, with a few embedded resources registered, and
// refuses urls that name a folder ('/' or '\'), so that only those files can
// be read; nothing is opened for writing but banks. Crash files go to that
// directory, which is removed at exit: run with -artifact_prefix=/some/dir/.
//
// Opening gives a stream or null; reading gives values or a TRuntimeError;
// anything else is a crash. Checked on the way:
//   - UrlLoadBytes of a url that does not open raises, and of one that opens
//     gives the bytes that reading the stream to its end gives;
//   - UrlLoadText has one character per byte of UrlLoadBytes;
//   - "bigendian::" views of a url read Int32 values as the byte-swapped
//     form of the bytes the "littleendian::" view reads;
//   - positions stay in 0..Size, and a counted read gives at most the count.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "corvex/runtime/log.h"
#include "corvex/runtime/startup.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/memorystream.h"
#include "corvex/stream/textstream.h"
#include "corvex/stream/url.h"

namespace {

using namespace cvx;
using std::int32_t;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kLongestString = (kMax - 64) / 2;

std::string workDir;

const unsigned char kSample[] = "incbin sample\r\nsecond line\n\x01\x02\x03\x04\x05\x06\x07\x08\xff\xfe";
const unsigned char kText[] = "utf8 \xc3\xa9t\xc3\xa9\r\n\xe2\x82\xac 42\r\n3.5\r\n";

[[noreturn]] void Fail(const char* what, const String& url) {
  std::fprintf(stderr, "url_fuzz: %s (url \"%s\")\n", what, url.ToStd().c_str());
  std::abort();
}

void WriteFile(const char* name, const void* bytes, std::size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) std::abort();
  std::fwrite(bytes, 1, size, f);
  std::fclose(f);
}

void RemoveWorkDir() {
  std::error_code ignored;
  std::filesystem::remove_all(workDir, ignored);
}

int32_t Count(std::uint8_t pick, std::uint32_t raw) {
  switch (pick % 10) {
    case 0: return 0;
    case 1: return -1;
    case 2: return kMax;
    case 3: return kMin;
    case 4: return kMax - 7;
    case 5: return static_cast<int32_t>(raw);
    default: return static_cast<int32_t>(raw % 300);
  }
}

// The bytes from the stream's position to its end, by plain Reads.
std::vector<std::uint8_t> ReadToEnd(TByteStream* stream) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[512];
  while (!stream->AtEnd()) {
    const int32_t n = stream->Read(buffer, sizeof buffer);
    if (n <= 0) break;
    if (n > static_cast<int32_t>(sizeof buffer)) Fail("a Read gave more than asked", String());
    bytes.insert(bytes.end(), buffer, buffer + n);
    if (bytes.size() > (1u << 24)) break;
  }
  return bytes;
}

void CheckPosition(TByteStream* stream, const String& url) {
  const int32_t position = stream->Position(), size = stream->Size();
  if (position >= 0 && size >= 0 && position > size) Fail("a position past the size", url);
}

// Reads of every kind, with the count given.
void Exercise(TByteStream* stream, int32_t count, int ops, const String& url) {
  std::uint8_t buffer[512];
  const int32_t small = count < 0 ? count : count % static_cast<int32_t>(sizeof buffer + 1);
  for (int step = 0; step < 8 && !stream->AtEnd(); ++step) {
    switch ((ops >> (step % 4)) % 8) {
      case 0: {
        const int32_t n = stream->Read(buffer, small);
        if (n < 0 || n > (small < 0 ? 0 : small)) Fail("a Read gave a count outside 0..asked", url);
        break;
      }
      case 1: (void)stream->ReadExact(buffer, small); break;
      case 2: (void)stream->SkipExact(count); break;
      case 3: {
        // A byte stream's text is as long as asked, zeros past the end: a
        // length of a few hundred million is a legitimate huge string, while
        // a length no string can hold raises (or, on a text stream, stops
        // where the data does).
        const bool huge = count > (1 << 20) && count <= kLongestString;
        String text = stream->ReadText(huge ? count % 4096 : count);
        if (text.Length() > (count < 0 ? 0 : count)) Fail("ReadText gave more than asked", url);
        break;
      }
      case 4: (void)stream->ReadTextLine(); break;
      case 5: {
        (void)stream->ReadUInt8();
        (void)stream->ReadUInt16();
        (void)stream->ReadInt32();
        (void)stream->ReadInt64();
        (void)stream->ReadFloat32();
        (void)stream->ReadFloat64();
        break;
      }
      case 6: (void)stream->Seek(count); break;
      default: (void)stream->ReadSerialized(); break;
    }
    CheckPosition(stream, url);
  }
}

void CheckLoads(const Ref<TObject>& url, const String& name) {
  std::vector<std::uint8_t> direct;
  bool opened = false;
  {
    Ref<TByteStream> stream = OpenUrlForReading(url);
    if (stream) {
      opened = true;
      direct = ReadToEnd(stream.Get());
      stream->Close();
    }
  }
  bool loaded = false;
  Array<std::uint8_t> bytes;
  try {
    bytes = UrlLoadBytes(url);
    loaded = true;
  } catch (const TRuntimeError&) {
    if (!opened) return;
    // A stream that opened may still fail while it is read (a data stream
    // over text): the load raising is then what it should do.
    return;
  }
  if (!opened) Fail("UrlLoadBytes of a url that does not open gave bytes", name);
  if (loaded && direct.size() < (1u << 24)) {
    if (bytes->Length() != static_cast<int32_t>(direct.size()) ||
        (bytes->Length() > 0 && std::memcmp(bytes->Data(), direct.data(), direct.size()) != 0))
      Fail("UrlLoadBytes gave other bytes than reading the stream", name);
  }
  String text = UrlLoadText(url);
  if (text.Length() != bytes->Length()) Fail("UrlLoadText has another length than UrlLoadBytes", name);
  for (int32_t i = 0; i < text.Length(); ++i)
    if (text.Units()[i] != bytes->Data()[i]) Fail("UrlLoadText changed a byte", name);
}

void CheckEndianViews(const String& url) {
  Ref<TByteStream> little = OpenUrlForReading("littleendian::"_s + url);
  Ref<TByteStream> big = OpenUrlForReading("bigendian::"_s + url);
  if (!little || !big) return;
  for (int i = 0; i < 4 && !little->AtEnd() && !big->AtEnd(); ++i) {
    // The raw bytes, not ReadInt32: a text stream's own ReadInt32 reads a
    // decimal line, which the big-endian view does not use.
    std::uint32_t a = 0;
    little->ReadExact(&a, 4);
    const std::uint32_t b = static_cast<std::uint32_t>(big->ReadInt32());
    if (__builtin_bswap32(a) != b) Fail("the big-endian view is not the little-endian one swapped", url);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  cvx::RuntimeStartup(*argc, *argv);
  cvx::InitStream();
  cvx::SetLogLevel(cvx::LogLevel::Error);
  std::string pattern = (std::filesystem::temp_directory_path() / "corvex-url-fuzz-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) std::abort();
  workDir = name.data();
  if (chdir(workDir.c_str()) != 0) std::abort();
  std::atexit(RemoveWorkDir);
  WriteFile("a.txt", kText, sizeof kText - 1);
  WriteFile("b.bin", kSample, sizeof kSample - 1);
  WriteFile("empty", "", 0);
  std::filesystem::create_directory("dir");
  cvx::EmbedRegister("sample", kSample, static_cast<int32_t>(sizeof kSample - 1));
  cvx::EmbedRegister("a.txt", kText, static_cast<int32_t>(sizeof kText - 1));
  cvx::EmbedRegister("", kText, 4);
  cvx::EmbedRegister("nothing", nullptr, 100);
  cvx::EmbedRegister("zero", kSample, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  {
    const std::uint8_t mode = data[0];
    const std::uint32_t raw = static_cast<std::uint32_t>(data[2]) << 24 | static_cast<std::uint32_t>(data[3]) << 16 |
                              static_cast<std::uint32_t>(data[4]) << 8 | data[5];
    const int32_t count = Count(data[1], raw);
    const auto* body = data + 6;
    const auto length = static_cast<int32_t>(size - 6);
    String text = (mode & 1) ? String::OfUtf8(std::string_view(reinterpret_cast<const char*>(body), size - 6))
                             : String::OfBytes(body, length);
    Ref<TObject> url = text;
    switch ((mode >> 1) % 4) {
      case 1: {
        // A bank holding the bytes: opened through the bank opener, and
        // saved to and loaded from.
        Ref<TBank> bank = NewBank(length);
        if (length > 0) std::memcpy(BankAddress(bank.Get()), body, static_cast<std::size_t>(length));
        url = Ref<TObject>(bank);
        text = String();
        break;
      }
      case 2: {
        url = Ref<TObject>(CreateMemoryStream(body, length, 1, 0));
        text = String();
        break;
      }
      default: break;
    }
    for (std::int32_t i = 0; i < text.Length(); ++i)
      if (text.Units()[i] == u'/' || text.Units()[i] == u'\\') return 0;
    try {
      Ref<TByteStream> stream = OpenUrlForReading(url);
      if (stream) {
        Exercise(stream.Get(), count, mode >> 3, text);
        stream->Close();
      }
    } catch (const TRuntimeError&) {
      // Malformed data (a data stream over text, say) is reported.
    }
    if ((mode >> 1) % 4 != 2) {
      try {
        CheckLoads(url, text);
        if (!text.IsEmpty()) CheckEndianViews(text);
      } catch (const TRuntimeError&) {
      }
    }
    if ((mode >> 1) % 4 == 1) {
      // A bank takes bytes saved to it and gives them back.
      Array<std::uint8_t> bytes = NewArray<std::uint8_t>(length);
      if (length > 0) std::memcpy(bytes->Data(), body, static_cast<std::size_t>(length));
      Ref<TBank> bank = NewBank(3);
      UrlSaveBytes(bytes, Ref<TObject>(bank));
      Array<std::uint8_t> back = UrlLoadBytes(Ref<TObject>(bank));
      if (back->Length() < length || (length > 0 && std::memcmp(back->Data(), body, static_cast<std::size_t>(length)) != 0))
        Fail("bytes saved to a bank did not load back", String());
    }
  }
  cvx::ReclaimMemory();
  return 0;
}
