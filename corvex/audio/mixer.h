/// @file
/// The software mixer: a fixed set of voices summed into interleaved stereo
/// float frames by Render, which the audio device calls on its own thread.
///
/// Threads. The main thread never touches a voice: it posts commands (start,
/// stop, pause, resume, volume, pan, rate) into a vector under a mutex, and
/// Render swaps that vector with its own under the same mutex at the start of
/// each call. Both vectors keep their capacity, so the swap neither allocates
/// nor frees, and the lock is held only for the swap or one push. Render then
/// applies the commands in order and mixes without any lock. What the main
/// thread learns back goes through atomics: the frames mixed so far, the
/// commands applied so far, and per voice the serial number of the last start
/// that has finished (ended, or stopped).
///
/// Sample memory. A voice reads frames through a plain pointer; the owner of
/// the memory (the sound module) keeps it alive until AppliedCommands() shows
/// that the command that replaced or stopped the voice has been applied, or
/// FinishedSerial() shows that the voice ended by itself.
///
/// Mixing. Each voice steps through its source at sourceRate * rate /
/// outputRate frames per output frame, interpolating linearly between
/// neighbouring frames (across the loop point for a looping source); a voice at
/// the output rate takes a straight multiply-add path. Mono sources go to both
/// sides. Pan is a balance: at -1 the right side is silent and the left at full
/// volume, at 0 both sides are at full volume. The sum is clipped to -1..1.
///
/// Cued starts. A voice started paused and resumed with ResumeTogether starts
/// at a frame chosen ahead (two blocks after the last mixed frame); every
/// ResumeTogether posted before that frame can still be met gets the same
/// frame, so sounds resumed one after the other start on the same output
/// frame, at the cost of up to two blocks of latency.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "corvex/audio/framering.h"
#include "corvex/runtime/api_begin.h"

namespace cvx::audio {

/// What a voice plays: interleaved float frames in memory, or a ring that the
/// streaming thread keeps filled.
struct VoiceSource {
  /// Interleaved frames (channels floats each), or nullptr for a ring source.
  const float* frames = nullptr;
  std::int64_t length = 0;  ///< frames
  int channels = 1;         ///< 1 or 2
  int rate = 44100;         ///< the source's frames per second
  /// Plays again from the start at the end (memory sources).
  bool loop = false;
  FrameRing* ring = nullptr;  ///< when set, frames and length are unused
};

/// The software mixer (see the file comment): kVoices voices summed into
/// interleaved stereo floats. Its calls never raise.
class Mixer {
 public:
  /// The number of voices.
  static constexpr int kVoices = 256;

  /// blockFrames: the most frames one Render call is expected to ask for.
  Mixer(int outputRate, int blockFrames);

  /// Output frames per second.
  int OutputRate() const noexcept { return outputRate_; }

  /// Main-thread calls: each posts one command, applied at the start of the next
  /// Render. Voices outside 0..kVoices-1 are ignored. Start plays source on the
  /// voice (paused when paused is true) under a serial number of the caller's.
  void Start(int voice, std::uint32_t serial, const VoiceSource& source, float volume, float pan, float rate,
             bool paused);
  /// Stops the voice; its serial then counts as finished.
  void Stop(int voice);
  /// Holds the voice where it is.
  void Pause(int voice);
  /// Lets a paused voice play on.
  void Resume(int voice);
  /// Resume at the shared start frame described above; returns that frame.
  std::int64_t ResumeTogether(int voice);
  void SetVolume(int voice, float volume);  ///< negative and NaN give 0
  void SetPan(int voice, float pan);        ///< clamped to -1..1; NaN gives 0
  void SetRate(int voice, float rate);      ///< clamped to 0..256; NaN gives 1

  /// The serial of the voice's last start that has ended or been stopped.
  std::uint32_t FinishedSerial(int voice) const noexcept;
  /// Frames mixed so far.
  std::int64_t MixedFrames() const noexcept { return mixed_.load(std::memory_order_acquire); }
  /// Commands posted so far (main thread).
  std::uint64_t PostedCommands() const noexcept { return posted_; }
  /// Commands Render has applied so far.
  std::uint64_t AppliedCommands() const noexcept { return applied_.load(std::memory_order_acquire); }
  /// Frames a streamed voice wanted but the ring did not have yet.
  std::int64_t StreamUnderruns() const noexcept { return underruns_.load(std::memory_order_relaxed); }

  /// Audio-thread call: fills frames stereo frames. No allocation, no lock beyond
  /// the swap.
  void Render(float* out, int frames) noexcept;
  /// Render in the shape of AudioRenderFunction.
  static void RenderInto(void* mixer, float* out, int frames) noexcept {
    static_cast<Mixer*>(mixer)->Render(out, frames);
  }

 private:
  enum class Kind : std::uint8_t { Start, Stop, Pause, Resume, Volume, Pan, Rate };
  struct Command {
    Kind kind;
    int voice;
    std::uint32_t serial;
    float value;
    bool paused;
    std::int64_t startAt;
    float pan;
    float rate;
    VoiceSource source;
  };
  struct Voice {
    bool active = false;
    bool paused = false;
    VoiceSource source;
    double position = 0;  ///< in source frames (relative to the ring's read point when streamed)
    float volume = 1, pan = 0, rate = 1;
    std::int64_t startAt = -1;  ///< output frame at which a resumed voice begins, or -1
    std::uint32_t serial = 0;
  };

  void Post(const Command& command);
  void Apply(const Command& command) noexcept;
  void Finish(Voice& voice, int index) noexcept;
  /// Mixes count frames of the voice into out; false when it ended.
  bool MixMemory(Voice& voice, float* out, int count) noexcept;
  bool MixRing(Voice& voice, float* out, int count) noexcept;

  const int outputRate_;
  std::mutex lock_;
  std::vector<Command> incoming_;  ///< guarded by lock_
  std::vector<Command> applying_;  ///< the audio thread's
  std::int64_t groupStart_ = -1;   ///< guarded by lock_
  std::atomic<int> blockFrames_;
  std::uint64_t posted_ = 0;  ///< main thread

  Voice voices_[kVoices];
  std::atomic<std::uint32_t> finished_[kVoices];
  std::atomic<std::int64_t> mixed_{0};
  std::atomic<std::uint64_t> applied_{0};
  std::atomic<std::int64_t> underruns_{0};
};

}  // namespace cvx::audio

#include "corvex/runtime/api_end.h"
