#include "corvex/audio/wavdecoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "corvex/audio/streambytes.h"
#include "corvex/stream/endianstream.h"

namespace cvx {

namespace {

// A 4-byte chunk tag; bytes missing at the end of the stream stay zero, so a
// short tag never matches a real one.
bool ReadTag(TByteStream* in, const char* expected) {
  char tag[4] = {0, 0, 0, 0};
  in->ReadExact(tag, 4);
  return std::memcmp(tag, expected, 4) == 0;
}

std::uint32_t ReadU32(TByteStream* in) { return static_cast<std::uint32_t>(in->ReadInt32()); }

// Moves past count bytes. False when the bytes are not there: a chunk that
// claims more than the stream holds cannot be followed by another one.
bool Skip(TByteStream* in, std::uint32_t count) {
  const std::int64_t left = audio::BytesLeft(in);
  if (left >= 0) {
    if (count > left) return false;
    const std::int64_t target = static_cast<std::int64_t>(in->Position()) + count;
    if (in->Seek(static_cast<std::int32_t>(target)) == target) return true;
    in->SkipExact(static_cast<std::int32_t>(count));  // count <= left <= INT_MAX
    return true;
  }
  std::uint32_t remaining = count;
  while (remaining > 0 && !in->AtEnd()) {
    const std::int32_t piece = remaining > INT_MAX ? INT_MAX : static_cast<std::int32_t>(remaining);
    in->SkipExact(piece);
    remaining -= static_cast<std::uint32_t>(piece);
  }
  return true;
}

// The data chunk's whole frames. The sample is made only once the bytes are
// known to be there, so a hostile size never becomes a huge allocation, and a
// chunk cut short by the end of the file gives null rather than frames of
// uninitialised memory.
Ref<TPcmSample> ReadData(TByteStream* in, std::uint32_t size, std::int32_t hertz, int format) {
  const int frameBytes = PcmBytesPerFrame[format];
  const std::int64_t length = size / frameBytes;
  if (length > INT_MAX) return nullptr;
  const std::int64_t bytes = length * frameBytes;
  const std::int64_t left = audio::BytesLeft(in);
  if (left >= 0) {
    if (bytes > left) return nullptr;
    Ref<TPcmSample> sample = PcmSampleNew(static_cast<std::int32_t>(length), hertz, format);
    if (audio::ReadAtMost(in, sample->samples, bytes) != bytes) return nullptr;
    return sample;
  }
  // A stream without a size: collect what arrives, growing with the data.
  std::vector<std::uint8_t> data;
  constexpr std::int64_t kPiece = 1 << 16;
  while (static_cast<std::int64_t>(data.size()) < bytes) {
    const std::int64_t want = std::min<std::int64_t>(kPiece, bytes - static_cast<std::int64_t>(data.size()));
    const std::size_t at = data.size();
    data.resize(at + static_cast<std::size_t>(want));
    const std::int64_t got = audio::ReadAtMost(in, data.data() + at, want);
    if (got != want) return nullptr;
  }
  Ref<TPcmSample> sample = PcmSampleNew(static_cast<std::int32_t>(length), hertz, format);
  if (bytes > 0) std::memcpy(sample->samples, data.data(), static_cast<std::size_t>(bytes));
  return sample;
}

int FormatOf(int bits, int channels) {
  if (bits == 8 && channels == 1) return PCM_MONO8;
  if (bits == 8 && channels == 2) return PCM_STEREO8;
  if (bits == 16 && channels == 1) return PCM_MONO16LE;
  if (bits == 16 && channels == 2) return PCM_STEREO16LE;
  return 0;
}

}  // namespace

Ref<TPcmSample> TWavDecoder::DecodeSample(TByteStream* stream) { return PcmSampleLoadWav(stream); }

Ref<TPcmSample> PcmSampleLoadWav(TByteStream* stream) {
  Ref<TByteStream> in = LittleEndianView(stream);
  if (!in) return nullptr;
  if (!ReadTag(in.Get(), "RIFF")) return nullptr;
  in->ReadInt32();  // the RIFF size says nothing the chunks do not
  if (!ReadTag(in.Get(), "WAVE")) return nullptr;
  if (!ReadTag(in.Get(), "fmt ")) return nullptr;
  const std::uint32_t fmtSize = ReadU32(in.Get());
  if (in->ReadUInt16() != 1) return nullptr;  // only uncompressed PCM
  const int channels = in->ReadUInt16();
  const std::int32_t hertz = in->ReadInt32();
  in->ReadInt32();   // byte rate
  in->ReadUInt16();  // block size
  const int bits = in->ReadUInt16();
  const int format = FormatOf(bits, channels);
  if (format == 0) return nullptr;
  if (fmtSize > 16 && !Skip(in.Get(), fmtSize - 16)) return nullptr;
  while (!in->AtEnd()) {
    // A chunk header cut short by the end of the file ends the search.
    std::uint8_t header[8];
    if (audio::ReadAtMost(in.Get(), header, 8) != 8) return nullptr;
    const bool isData = std::memcmp(header, "data", 4) == 0;
    const std::uint32_t size = static_cast<std::uint32_t>(header[4]) | static_cast<std::uint32_t>(header[5]) << 8 |
                               static_cast<std::uint32_t>(header[6]) << 16 |
                               static_cast<std::uint32_t>(header[7]) << 24;
    if (isData) return ReadData(in.Get(), size, hertz, format);
    // No pad byte is skipped after a chunk of odd size.
    if (!Skip(in.Get(), size)) return nullptr;
  }
  return nullptr;
}

void InitWavDecoder() {
  static bool done = false;
  if (done) return;
  done = true;
  InitAudioSamples();
  InitEndianStreams();
  new TWavDecoder();
}

}  // namespace cvx
