#include "corvex/audio/oggdecoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <vector>

#include "corvex/audio/streambytes.h"

namespace cvx {

namespace {

// What the callbacks read from. libvorbisfile is C: no exception may cross
// it, so an exception is caught in the callback, reported to the library as
// a failed transfer, and raised again once the library has returned.
struct Source {
  TByteStream* stream = nullptr;
  std::exception_ptr error;

  void Fail() {
    if (!error) error = std::current_exception();
  }
  // Raises what a callback caught; a stream error means "not this format" to
  // the caller, like any other stream error inside a decoder.
  void RaiseCaught() const {
    if (error) std::rethrow_exception(error);
  }
};

size_t ReadCallback(void* buffer, size_t size, size_t count, void* data) {
  auto* source = static_cast<Source*>(data);
  if (size == 0 || count == 0) return 0;
  const std::uint64_t want = static_cast<std::uint64_t>(size) * count;
  try {
    const std::int64_t got =
        audio::ReadAtMost(source->stream, buffer, static_cast<std::int64_t>(want > INT_MAX ? INT_MAX : want));
    return static_cast<size_t>(got) / size;
  } catch (...) {
    source->Fail();
    return 0;
  }
}

int SeekCallback(void* data, ogg_int64_t offset, int whence) {
  auto* source = static_cast<Source*>(data);
  try {
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
      base = source->stream->Position();
    else if (whence == SEEK_END)
      base = source->stream->Size();
    else if (whence != SEEK_SET)
      return -1;
    if (base < 0) return -1;
    const std::int64_t target = base + offset;
    if (target < 0 || target > INT_MAX) return -1;
    return source->stream->Seek(static_cast<std::int32_t>(target)) < 0 ? -1 : 0;
  } catch (...) {
    source->Fail();
    return -1;
  }
}

int CloseCallback(void*) { return 0; }

long TellCallback(void* data) {
  auto* source = static_cast<Source*>(data);
  try {
    return source->stream->Position();
  } catch (...) {
    source->Fail();
    return -1;
  }
}

// Owns the decoder state so that every way out clears it.
struct OpenFile {
  OggVorbis_File file;
  bool open = false;
  ~OpenFile() {
    if (open) ov_clear(&file);
  }
};

}  // namespace

Ref<TPcmSample> TOggDecoder::DecodeSample(TByteStream* stream) { return PcmSampleLoadOgg(stream); }

Ref<TPcmSample> PcmSampleLoadOgg(TByteStream* stream) {
  if (!stream) return nullptr;
  Source source;
  source.stream = stream;
  const ov_callbacks callbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};
  OpenFile vf;
  if (ov_open_callbacks(&source, &vf.file, nullptr, 0, callbacks) != 0) {
    source.RaiseCaught();
    return nullptr;
  }
  vf.open = true;
  source.RaiseCaught();

  const vorbis_info* info = ov_info(&vf.file, -1);
  const ogg_int64_t total = ov_pcm_total(&vf.file, -1);
  if (!info || total < 0 || total > INT_MAX) return nullptr;
  // Only mono and stereo have a sample format; more channels would not fit
  // a stereo frame.
  if (info->channels < 1 || info->channels > 2) return nullptr;
  const int format = info->channels == 1 ? PCM_MONO16LE : PCM_STEREO16LE;
  const std::int64_t bytes = total * PcmBytesPerFrame[format];

  // The announced length comes from the last page's granule position, which
  // a damaged file can set to anything; the bytes are gathered as they
  // decode, and the sample is made once they have all arrived.
  std::vector<char> pcm;
  constexpr long kPiece = 1 << 15;
  int section = 0;
  while (static_cast<std::int64_t>(pcm.size()) < bytes) {
    const std::int64_t want64 = std::min<std::int64_t>(kPiece, bytes - static_cast<std::int64_t>(pcm.size()));
    const std::size_t at = pcm.size();
    pcm.resize(at + static_cast<std::size_t>(want64));
    const long got = ov_read(&vf.file, pcm.data() + at, static_cast<int>(want64), 0, 2, 1, &section);
    source.RaiseCaught();
    if (got <= 0) return nullptr;  // a decoding error, or the data ends short
    pcm.resize(at + static_cast<std::size_t>(got));
    // A chained stream may change its layout; the sample has only one.
    const vorbis_info* now = ov_info(&vf.file, section);
    if (!now || now->channels != info->channels) return nullptr;
  }
  Ref<TPcmSample> sample =
      PcmSampleNew(static_cast<std::int32_t>(total), static_cast<std::int32_t>(info->rate), format);
  if (bytes > 0) std::memcpy(sample->samples, pcm.data(), static_cast<std::size_t>(bytes));
  return sample;
}

void InitOggDecoder() {
  static bool done = false;
  if (done) return;
  done = true;
  InitAudioSamples();
  new TOggDecoder();
}

}  // namespace cvx
