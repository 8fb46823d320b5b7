#include "corvex/audio/mixer.h"

#include <algorithm>
#include <cmath>

namespace cvx::audio {

namespace {

constexpr std::size_t kCommandCapacity = 1024;

float SanitizedVolume(float v) { return v > 0 ? std::min(v, 1000.0f) : 0.0f; }  // NaN fails v > 0
float SanitizedPan(float p) { return p == p ? std::clamp(p, -1.0f, 1.0f) : 0.0f; }
float SanitizedRate(float r) { return r == r ? std::clamp(r, 0.0f, 256.0f) : 1.0f; }

}  // namespace

Mixer::Mixer(int outputRate, int blockFrames)
    : outputRate_(outputRate > 0 ? outputRate : 48000), blockFrames_(blockFrames > 0 ? blockFrames : 1024) {
  incoming_.reserve(kCommandCapacity);
  applying_.reserve(kCommandCapacity);
  for (auto& finished : finished_) finished.store(0, std::memory_order_relaxed);
}

// ---- Main thread ---------------------------------------------------------------

void Mixer::Post(const Command& command) {
  if (command.voice < 0 || command.voice >= kVoices) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    incoming_.push_back(command);
  }
  ++posted_;
}

void Mixer::Start(int voice, std::uint32_t serial, const VoiceSource& source, float volume, float pan, float rate,
                  bool paused) {
  Command command{};
  command.kind = Kind::Start;
  command.voice = voice;
  command.serial = serial;
  command.source = source;
  command.value = SanitizedVolume(volume);
  command.pan = SanitizedPan(pan);
  command.rate = SanitizedRate(rate);
  command.paused = paused;
  Post(command);
}

void Mixer::Stop(int voice) { Post(Command{Kind::Stop, voice, 0, 0, false, -1, 0, 0, {}}); }
void Mixer::Pause(int voice) { Post(Command{Kind::Pause, voice, 0, 0, false, -1, 0, 0, {}}); }
void Mixer::Resume(int voice) { Post(Command{Kind::Resume, voice, 0, 0, false, -1, 0, 0, {}}); }
void Mixer::SetVolume(int voice, float volume) {
  Post(Command{Kind::Volume, voice, 0, SanitizedVolume(volume), false, -1, 0, 0, {}});
}
void Mixer::SetPan(int voice, float pan) { Post(Command{Kind::Pan, voice, 0, SanitizedPan(pan), false, -1, 0, 0, {}}); }
void Mixer::SetRate(int voice, float rate) {
  Post(Command{Kind::Rate, voice, 0, SanitizedRate(rate), false, -1, 0, 0, {}});
}

std::int64_t Mixer::ResumeTogether(int voice) {
  if (voice < 0 || voice >= kVoices) return -1;
  std::int64_t start;
  {
    std::lock_guard<std::mutex> hold(lock_);
    // Read under the lock that Render swaps under: a command pushed now is
    // applied by a Render whose first frame is at most mixed + block.
    const std::int64_t block = blockFrames_.load(std::memory_order_relaxed);
    const std::int64_t mixed = mixed_.load(std::memory_order_acquire);
    if (groupStart_ < mixed + block) groupStart_ = mixed + 2 * block;
    start = groupStart_;
    incoming_.push_back(Command{Kind::Resume, voice, 0, 0, false, start, 0, 0, {}});
  }
  ++posted_;
  return start;
}

std::uint32_t Mixer::FinishedSerial(int voice) const noexcept {
  if (voice < 0 || voice >= kVoices) return 0;
  return finished_[voice].load(std::memory_order_acquire);
}

// ---- Audio thread ----------------------------------------------------------------

void Mixer::Finish(Voice& voice, int index) noexcept {
  if (!voice.active) return;
  voice.active = false;
  voice.source = VoiceSource{};
  finished_[index].store(voice.serial, std::memory_order_release);
}

void Mixer::Apply(const Command& command) noexcept {
  Voice& voice = voices_[command.voice];
  switch (command.kind) {
    case Kind::Start:
      Finish(voice, command.voice);
      voice.active = command.source.ring || (command.source.frames && command.source.length > 0);
      voice.paused = command.paused;
      voice.source = command.source;
      voice.position = 0;
      voice.volume = command.value;
      voice.pan = command.pan;
      voice.rate = command.rate;
      voice.startAt = -1;
      voice.serial = command.serial;
      // A start with nothing to play has finished already.
      if (!voice.active) finished_[command.voice].store(command.serial, std::memory_order_release);
      break;
    case Kind::Stop:
      Finish(voice, command.voice);
      break;
    case Kind::Pause:
      voice.paused = true;
      voice.startAt = -1;
      break;
    case Kind::Resume:
      voice.paused = false;
      voice.startAt = command.startAt;
      break;
    case Kind::Volume:
      voice.volume = command.value;
      break;
    case Kind::Pan:
      voice.pan = command.value;
      break;
    case Kind::Rate:
      voice.rate = command.value;
      break;
  }
}

bool Mixer::MixMemory(Voice& voice, float* out, int count) noexcept {
  const VoiceSource& source = voice.source;
  const float* data = source.frames;
  const std::int64_t length = source.length;
  const double step = static_cast<double>(source.rate) * voice.rate / outputRate_;
  const float left = voice.volume * std::min(1.0f, 1.0f - voice.pan);
  const float right = voice.volume * std::min(1.0f, 1.0f + voice.pan);
  double position = voice.position;
  const bool stereo = source.channels == 2;
  int i = 0;
  while (i < count) {
    if (position >= static_cast<double>(length)) {
      if (!source.loop) {
        voice.position = position;
        return false;
      }
      position = std::fmod(position, static_cast<double>(length));
    }
    // Output frames whose position stays below the last source frame, where
    // both neighbours lie inside the data.
    const auto first = static_cast<std::int64_t>(position);
    const std::int64_t last = length - 2;  // the last frame with a right neighbour
    if (first <= last) {
      float* o = out + 2 * i;
      if (step == 1.0 && position == static_cast<double>(first)) {
        const int run = static_cast<int>(std::min<std::int64_t>(count - i, last + 1 - first));
        const float* d = data + first * source.channels;
        if (stereo) {
          for (int k = 0; k < run; ++k) {
            o[2 * k] += d[2 * k] * left;
            o[2 * k + 1] += d[2 * k + 1] * right;
          }
        } else {
          for (int k = 0; k < run; ++k) {
            o[2 * k] += d[k] * left;
            o[2 * k + 1] += d[k] * right;
          }
        }
        position += run;
        i += run;
        continue;
      }
      // The run steps in 32.32 fixed point from the whole frame it starts
      // on: an integer add and shift per frame instead of conversions. Its
      // length is worked out exactly, so that no frame of it reads past the
      // data and the loop needs no test per frame.
      const std::uint64_t fixedStep = static_cast<std::uint64_t>(step * 4294967296.0);
      std::uint64_t fixed = static_cast<std::uint64_t>((position - static_cast<double>(first)) * 4294967296.0);
      const std::uint64_t end = static_cast<std::uint64_t>(last + 1 - first) << 32;
      std::int64_t fits = count - i;
      if (fixed >= end) {
        fits = 0;
      } else if (fixedStep > 0) {
        fits = std::min<std::int64_t>(fits, static_cast<std::int64_t>((end - fixed + fixedStep - 1) / fixedStep));
      }
      const int run = static_cast<int>(fits);
      if (run > 0) {
        const float scale = 1.0f / 4294967296.0f;
        if (stereo) {
          const float* base = data + 2 * first;
          for (int k = 0; k < run; ++k) {
            const float* d = base + 2 * static_cast<std::int64_t>(fixed >> 32);
            const float t = static_cast<float>(static_cast<std::uint32_t>(fixed)) * scale;
            o[2 * k] += (d[0] + (d[2] - d[0]) * t) * left;
            o[2 * k + 1] += (d[1] + (d[3] - d[1]) * t) * right;
            fixed += fixedStep;
          }
        } else {
          const float* base = data + first;
          for (int k = 0; k < run; ++k) {
            const float* d = base + static_cast<std::int64_t>(fixed >> 32);
            const float t = static_cast<float>(static_cast<std::uint32_t>(fixed)) * scale;
            const float v = d[0] + (d[1] - d[0]) * t;
            o[2 * k] += v * left;
            o[2 * k + 1] += v * right;
            fixed += fixedStep;
          }
        }
        position = static_cast<double>(first) + static_cast<double>(fixed) / 4294967296.0;
        i += run;
        continue;
      }
    }
    // The last source frame: its right neighbour is the first frame when
    // looping, else itself.
    const auto at = static_cast<std::int64_t>(position);
    const std::int64_t next = source.loop ? 0 : at;
    const float t = static_cast<float>(position - static_cast<double>(at));
    if (stereo) {
      out[2 * i] += (data[2 * at] + (data[2 * next] - data[2 * at]) * t) * left;
      out[2 * i + 1] += (data[2 * at + 1] + (data[2 * next + 1] - data[2 * at + 1]) * t) * right;
    } else {
      const float s = data[at] + (data[next] - data[at]) * t;
      out[2 * i] += s * left;
      out[2 * i + 1] += s * right;
    }
    position += step;
    ++i;
    if (step == 0) break;  // a held voice stays on its frame
  }
  voice.position = position;
  return true;
}

bool Mixer::MixRing(Voice& voice, float* out, int count) noexcept {
  FrameRing& ring = *voice.source.ring;
  const double step = static_cast<double>(voice.source.rate) * voice.rate / outputRate_;
  const float left = voice.volume * std::min(1.0f, 1.0f - voice.pan);
  const float right = voice.volume * std::min(1.0f, 1.0f + voice.pan);
  const bool stereo = ring.Channels() == 2;
  // Ended is read before Readable: frames written before the end mark are
  // then all counted.
  const bool ended = ring.Ended();
  const std::int64_t readable = ring.Readable();
  double position = voice.position;
  bool alive = true;
  int i = 0;
  for (; i < count; ++i) {
    const auto at = static_cast<std::int64_t>(position);
    if (at >= readable) {
      if (ended) {
        alive = false;
      } else {
        underruns_.fetch_add(count - i, std::memory_order_relaxed);
      }
      break;
    }
    // Without the next frame yet, the current one is held.
    const float* a = ring.Frame(at);
    const float* b = at + 1 < readable ? ring.Frame(at + 1) : a;
    const float t = static_cast<float>(position - static_cast<double>(at));
    if (stereo) {
      out[2 * i] += (a[0] + (b[0] - a[0]) * t) * left;
      out[2 * i + 1] += (a[1] + (b[1] - a[1]) * t) * right;
    } else {
      const float s = a[0] + (b[0] - a[0]) * t;
      out[2 * i] += s * left;
      out[2 * i + 1] += s * right;
    }
    position += step;
  }
  const auto used = std::min(static_cast<std::int64_t>(position), readable);
  ring.Consume(used);
  voice.position = position - static_cast<double>(used);
  return alive;
}

void Mixer::Render(float* out, int frames) noexcept {
  if (frames <= 0) return;
  if (frames > blockFrames_.load(std::memory_order_relaxed)) blockFrames_.store(frames, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> hold(lock_);
    applying_.swap(incoming_);
  }
  for (const Command& command : applying_) Apply(command);
  applied_.fetch_add(applying_.size(), std::memory_order_release);
  applying_.clear();

  std::fill(out, out + 2 * static_cast<std::ptrdiff_t>(frames), 0.0f);
  const std::int64_t blockStart = mixed_.load(std::memory_order_relaxed);
  for (int index = 0; index < kVoices; ++index) {
    Voice& voice = voices_[index];
    if (!voice.active || voice.paused) continue;
    int offset = 0;
    if (voice.startAt >= 0) {
      const std::int64_t wait = voice.startAt - blockStart;
      if (wait >= frames) continue;
      offset = wait > 0 ? static_cast<int>(wait) : 0;
      voice.startAt = -1;
    }
    const bool alive = voice.source.ring ? MixRing(voice, out + 2 * offset, frames - offset)
                                         : MixMemory(voice, out + 2 * offset, frames - offset);
    if (!alive) Finish(voice, index);
  }
  for (std::ptrdiff_t i = 0; i < 2 * static_cast<std::ptrdiff_t>(frames); ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
  mixed_.store(blockStart + frames, std::memory_order_release);
}

}  // namespace cvx::audio
