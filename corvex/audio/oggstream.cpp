#include "corvex/audio/oggstream.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace cvx::audio {

namespace {

// What the memory callbacks read from.
struct Cursor {
  EncodedBytes bytes;
  std::size_t position = 0;
};

size_t ReadCallback(void* buffer, size_t size, size_t count, void* data) {
  auto* cursor = static_cast<Cursor*>(data);
  if (size == 0) return 0;
  const std::size_t left = cursor->bytes->size() - cursor->position;
  const std::size_t items = std::min(count, left / size);
  std::memcpy(buffer, cursor->bytes->data() + cursor->position, items * size);
  cursor->position += items * size;
  return items;
}

int SeekCallback(void* data, ogg_int64_t offset, int whence) {
  auto* cursor = static_cast<Cursor*>(data);
  const auto size = static_cast<ogg_int64_t>(cursor->bytes->size());
  ogg_int64_t base = 0;
  if (whence == SEEK_CUR)
    base = static_cast<ogg_int64_t>(cursor->position);
  else if (whence == SEEK_END)
    base = size;
  else if (whence != SEEK_SET)
    return -1;
  const ogg_int64_t target = base + offset;
  if (target < 0 || target > size) return -1;
  cursor->position = static_cast<std::size_t>(target);
  return 0;
}

int CloseCallback(void*) { return 0; }

long TellCallback(void* data) { return static_cast<long>(static_cast<Cursor*>(data)->position); }

}  // namespace

struct OggStreamDecoder::State {
  Cursor cursor;
  OggVorbis_File file;
  bool open = false;
  int section = 0;
  ~State() {
    if (open) ov_clear(&file);
  }
};

bool OggEndsWithFinalPage(const std::vector<std::uint8_t>& bytes) {
  // A page is "OggS", version, flags, 8 + 4 + 4 + 4 bytes, the segment count
  // and the lacing values, then the body; pages are at most 65307 bytes.
  const std::size_t size = bytes.size();
  if (size < 27) return false;
  const std::size_t earliest = size > 65307 ? size - 65307 : 0;
  for (std::size_t at = size - 27 + 1; at-- > earliest;) {
    if (std::memcmp(bytes.data() + at, "OggS", 4) != 0) continue;
    const std::size_t segments = bytes[at + 26];
    if (at + 27 + segments > size) continue;
    std::size_t body = 0;
    for (std::size_t i = 0; i < segments; ++i) body += bytes[at + 27 + i];
    if (at + 27 + segments + body != size) continue;
    return (bytes[at + 5] & 0x04) != 0;
  }
  return false;
}

OggStreamDecoder::OggStreamDecoder() = default;
OggStreamDecoder::~OggStreamDecoder() = default;

bool OggStreamDecoder::Open(EncodedBytes bytes, std::string& whyNot) {
  state_.reset();
  if (!bytes || bytes->empty()) {
    whyNot = "no data";
    return false;
  }
  if (!OggEndsWithFinalPage(*bytes)) {
    whyNot = "the data is not Ogg or ends before its last page";
    return false;
  }
  auto state = std::make_unique<State>();
  state->cursor.bytes = std::move(bytes);
  const ov_callbacks callbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};
  if (ov_open_callbacks(&state->cursor, &state->file, nullptr, 0, callbacks) != 0) {
    whyNot = "the data is not Ogg Vorbis";
    return false;
  }
  state->open = true;
  const vorbis_info* info = ov_info(&state->file, -1);
  const ogg_int64_t total = ov_pcm_total(&state->file, -1);
  if (!info || info->channels < 1 || info->channels > 2) {
    whyNot = "only mono and stereo Ogg Vorbis play";
    return false;
  }
  if (total <= 0 || info->rate <= 0 || info->rate > 1000000) {
    whyNot = "the stream announces no frames or an impossible rate";
    return false;
  }
  channels_ = info->channels;
  rate_ = static_cast<int>(info->rate);
  length_ = total;
  failed_ = false;
  failure_.clear();
  state_ = std::move(state);
  return true;
}

int OggStreamDecoder::Read(float* out, int frames) {
  if (failed_ || !state_) return -1;
  int written = 0;
  int holes = 0;
  while (written < frames) {
    float** pcm = nullptr;
    const long got = ov_read_float(&state_->file, &pcm, frames - written, &state_->section);
    // A gap in the data: decoding goes on after it, unless the data is
    // nothing but gaps.
    if (got == OV_HOLE && ++holes < 64) continue;
    if (got < 0) {
      failed_ = true;
      failure_ = "the Ogg Vorbis data is damaged";
      return -1;
    }
    if (got == 0) break;
    const vorbis_info* now = ov_info(&state_->file, state_->section);
    if (!now || now->channels != channels_ || now->rate != rate_) {
      failed_ = true;
      failure_ = "a chained Ogg stream changes its layout";
      return -1;
    }
    for (long i = 0; i < got; ++i)
      for (int c = 0; c < channels_; ++c) {
        // Damaged data can decode to values beyond full scale, or to NaN.
        const float v = pcm[c][i];
        out[(written + i) * channels_ + c] = v == v ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
      }
    written += static_cast<int>(got);
  }
  return written;
}

bool OggStreamDecoder::Rewind() {
  if (failed_ || !state_) return false;
  if (ov_pcm_seek(&state_->file, 0) != 0) {
    failed_ = true;
    failure_ = "the Ogg Vorbis stream does not seek back to its start";
    return false;
  }
  return true;
}

}  // namespace cvx::audio
