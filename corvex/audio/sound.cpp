// Making sounds from samples and urls.
#include "corvex/audio/sound.h"

#include <cstring>
#include <string>

#include "corvex/audio/oggdecoder.h"
#include "corvex/audio/oggstream.h"
#include "corvex/audio/pcmdecoder.h"
#include "corvex/audio/streambytes.h"
#include "corvex/audio/wavdecoder.h"
#include "corvex/runtime/log.h"
#include "corvex/stream/memorystream.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

// Encoded data above this is refused rather than read whole.
constexpr std::int64_t kMostEncodedBytes = std::int64_t{1} << 30;

std::string Describe(const Ref<TObject>& url) {
  if (!url) return "(null)";
  try {
    return url->ToString().ToUtf8();
  } catch (...) {
    return "(url)";
  }
}

// Every byte of the url's stream, or false when it does not open or reads
// fail; streams that cannot tell their size are read to their end.
bool ReadWhole(const Ref<TObject>& url, std::vector<std::uint8_t>& bytes, std::string& whyNot) {
  Ref<TByteStream> stream = OpenUrlForReading(url);
  if (!stream) {
    whyNot.clear();  // the url's own warning has said why
    return false;
  }
  try {
    const std::int64_t left = audio::BytesLeft(stream.Get());
    if (left > kMostEncodedBytes) {
      whyNot = "it is larger than 1 GiB";
      stream->Close();
      return false;
    }
    if (left > 0) bytes.reserve(static_cast<std::size_t>(left));
    std::uint8_t piece[1 << 14];
    for (;;) {
      const std::int64_t got = audio::ReadAtMost(stream.Get(), piece, sizeof piece);
      if (got <= 0) break;
      bytes.insert(bytes.end(), piece, piece + got);
      if (static_cast<std::int64_t>(bytes.size()) > kMostEncodedBytes) {
        whyNot = "it is larger than 1 GiB";
        stream->Close();
        return false;
      }
    }
  } catch (const TStreamError&) {
    whyNot = "reading it failed";
    stream->Close();
    return false;
  }
  stream->Close();
  return true;
}

bool LooksLikeOgg(const std::vector<std::uint8_t>& bytes) {
  return bytes.size() >= 4 && std::memcmp(bytes.data(), "OggS", 4) == 0;
}

}  // namespace

TSound::~TSound() = default;

Ref<TSound> LoadSound(TPcmSample* sample, int flags) {
  if (!sample) {
    LogWarning("LoadSound: no sample given");
    return nullptr;
  }
  if (!IsPcmFormat(sample->format) || sample->length <= 0 || !sample->samples || sample->hertz <= 0 ||
      sample->hertz > 1000000) {
    LogWarning("LoadSound: the sample has no frames, an unknown format (%d) or an impossible rate (%d)", sample->format,
               static_cast<int>(sample->hertz));
    return nullptr;
  }
  const bool stereo = sample->format >= PCM_STEREO8;
  const int wanted = stereo ? PCM_STEREO16LE : PCM_MONO16LE;
  Ref<TPcmSample> pcm = sample->format == wanted ? Ref<TPcmSample>(sample) : sample->ConvertTo(wanted);
  Ref<TSound> sound = new TSound();
  sound->channels_ = stereo ? 2 : 1;
  sound->hertz_ = sample->hertz;
  sound->length_ = sample->length;
  sound->loop_ = (flags & SOUND_LOOP) != 0;
  const std::size_t count = static_cast<std::size_t>(sample->length) * static_cast<std::size_t>(sound->channels_);
  sound->frames_.resize(count);
  const std::uint8_t* bytes = pcm->samples;
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    sound->frames_[i] = static_cast<float>(value) / 32768.0f;
  }
  return sound;
}

Ref<TSound> LoadSound(const Ref<TObject>& url, int flags) {
  InitAudioSamples();
  InitOggDecoder();
  InitWavDecoder();
  std::vector<std::uint8_t> bytes;
  std::string whyNot;
  if (!ReadWhole(url, bytes, whyNot)) {
    if (!whyNot.empty()) LogWarning("LoadSound: %s gives no sound: %s", Describe(url).c_str(), whyNot.c_str());
    return nullptr;
  }
  // A cut Ogg stream still decodes up to its last whole page; it is refused
  // instead, so that a damaged download is noticed rather than played short.
  if (LooksLikeOgg(bytes) && !audio::OggEndsWithFinalPage(bytes)) {
    LogWarning("LoadSound: %s gives no sound: the Ogg data ends before its last page", Describe(url).c_str());
    return nullptr;
  }
  if ((flags & SOUND_STREAM) && LooksLikeOgg(bytes)) {
    auto encoded = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    audio::OggStreamDecoder probe;
    float first[2 * 256];
    if (!probe.Open(encoded, whyNot) || probe.Read(first, 256) <= 0) {
      if (whyNot.empty()) whyNot = probe.Failed() ? probe.Failure() : "it decodes to nothing";
      LogWarning("LoadSound: %s gives no sound: %s", Describe(url).c_str(), whyNot.c_str());
      return nullptr;
    }
    Ref<TSound> sound = new TSound();
    sound->channels_ = probe.Channels();
    sound->hertz_ = probe.Rate();
    sound->length_ = probe.Length();
    sound->loop_ = (flags & SOUND_LOOP) != 0;
    sound->encoded_ = std::move(encoded);
    return sound;
  }
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
    LogWarning("LoadSound: %s gives no sound: it is too large to decode whole", Describe(url).c_str());
    return nullptr;
  }
  Ref<TPcmSample> sample;
  {
    Ref<TMemoryStream> memory = CreateMemoryStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), 1, 0);
    sample = PcmSampleDecode(memory.Get());
  }
  if (!sample) {
    LogWarning(
        "LoadSound: %s gives no sound: no sample decoder reads it (damaged, cut short, or not WAVE or Ogg "
        "Vorbis)",
        Describe(url).c_str());
    return nullptr;
  }
  return LoadSound(sample.Get(), flags);
}

}  // namespace cvx
