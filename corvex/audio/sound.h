/// @file
/// Sounds: samples ready for the mixer, and the channels that play them.
///
/// A TSound holds its frames as floats (mono or stereo, at the sample's own
/// rate), converted once when it is made; a streamed sound holds only the
/// encoded Ogg Vorbis bytes and decodes them while it plays, on a streaming
/// thread, so long music costs little memory. A TChannel is one voice of the
/// mixer. PlaySound gives a new channel (or reuses one given), and the program
/// may keep it to pause, resume, stop or change the sound while it plays, or
/// drop it: a dropped channel plays its sound to the end.
///
/// Drivers. InitSound opens the platform's audio device and starts the mixer.
/// When no device opens (no sound hardware, SDL_AUDIODRIVER=dummy) the silent
/// driver stands in: every call works and returns what it would, nothing is
/// heard, channels never report playing, and the log says why the mixer did
/// not start. AudioDriverName tells which driver runs.
///
/// All of these are main-thread calls, like the rest of the framework.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "corvex/audio/pcmsample.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

// LoadSound flags.
inline constexpr int SOUND_LOOP = 1;    ///< plays again from the start when it ends
inline constexpr int SOUND_STREAM = 2;  ///< Ogg Vorbis decoded while playing; other data loads whole

class TSound;
class TChannel;

/// A sound of the sample's frames (copied). Null, with a warning, for a null
/// sample, an unknown format, a rate outside 1..1000000 or no frames.
Ref<TSound> LoadSound(TPcmSample* sample, int flags = 0);
/// A sound from a url (a path, a stream, "incbin::..."): with SOUND_STREAM an
/// Ogg Vorbis stream is kept encoded; anything else goes through the sample
/// decoders. Null, with a warning, when the url does not open, no decoder
/// reads the data, the data is cut short, or it has more than two channels.
Ref<TSound> LoadSound(const Ref<TObject>& url, int flags = 0);
/// A sound from a url given as text; as LoadSound of a url object.
inline Ref<TSound> LoadSound(const String& url, int flags = 0) { return LoadSound(Ref<TObject>(url), flags); }

/// A channel with nothing on it, for CueSound or PlaySound. Null, with a
/// warning, when all 256 voices are taken by live channels and playing sounds.
Ref<TChannel> AllocChannel();

/// A sound ready for the mixer (see the file comment); made by LoadSound.
class TSound final : public TObject {
 public:
  /// Frees the frames once no voice plays them.
  ~TSound() override;

  /// 1 (mono) or 2 (stereo).
  int Channels() const noexcept { return channels_; }
  /// Frames per second.
  int Hertz() const noexcept { return hertz_; }
  /// Length in frames.
  std::int64_t Length() const noexcept { return length_; }
  /// True when loaded with SOUND_LOOP.
  bool Looping() const noexcept { return loop_; }
  /// True when loaded with SOUND_STREAM (kept encoded).
  bool Streamed() const noexcept { return encoded_ != nullptr; }

  /// For the mixer: the float frames (empty when streamed) and the encoded bytes.
  const std::vector<float>& Frames() const noexcept { return frames_; }
  /// The encoded Ogg Vorbis bytes of a streamed sound (null otherwise).
  const std::shared_ptr<const std::vector<std::uint8_t>>& Encoded() const noexcept { return encoded_; }

 private:
  friend Ref<TSound> LoadSound(TPcmSample* sample, int flags);
  friend Ref<TSound> LoadSound(const Ref<TObject>& url, int flags);
  TSound() = default;

  std::vector<float> frames_;
  std::shared_ptr<const std::vector<std::uint8_t>> encoded_;
  int channels_ = 1;
  int hertz_ = 0;
  std::int64_t length_ = 0;
  bool loop_ = false;
};

/// One voice of the mixer as the program holds it (AllocChannel, PlaySound).
class TChannel final : public TObject {
 public:
  ~TChannel() override;  ///< a playing sound plays on; a paused or cued one stops
  /// The mixer voice, or -1 under the silent driver (and for a channel of a
  /// driver since shut down).
  int Voice() const noexcept;

 private:
  friend Ref<TChannel> AllocChannel();
  explicit TChannel(int voice);
  int voice_;
  std::uint32_t generation_;
};

/// Starts the sound on the channel (stopping what it played), or on a new
/// channel when channel is null; the channel keeps its volume, pan and rate.
/// Returns the channel; null (with a warning) for a null sound or when no
/// voice is free.
Ref<TChannel> PlaySound(TSound* sound, TChannel* channel = nullptr);
/// As PlaySound, but the channel waits, paused at the first frame, for
/// ResumeChannel. Channels cued and resumed one after another (within a mixer
/// block of each other) start on the same output frame.
Ref<TChannel> CueSound(TSound* sound, TChannel* channel = nullptr);

// Each does nothing for a null channel.
void StopChannel(TChannel* channel);  ///< silent from the next mixer block on
void PauseChannel(TChannel* channel);  ///< holds the sound where it is, for ResumeChannel
void ResumeChannel(TChannel* channel);                   ///< also starts a cued sound
void SetChannelVolume(TChannel* channel, float volume);  ///< 1 the sound's own level; below 0 as 0
void SetChannelPan(TChannel* channel, float pan);        ///< -1 left .. 0 centre .. 1 right
void SetChannelRate(TChannel* channel, float rate);      ///< 1 the sound's own speed (and pitch), 2 double

/// 1 while the channel's sound is sounding (started, not paused or cued, not
/// ended or stopped); 0 otherwise, for a null channel and under the silent
/// driver.
int ChannelPlaying(TChannel* channel);

/// Opens the audio device and starts the mixer, else the silent driver (once;
/// after ShutdownSound it opens again). Runs InitAudioSamples and the WAVE and
/// Ogg decoders first.
void InitSound();
/// Stops every sound, closes the device and returns to the silent driver.
void ShutdownSound();
/// "SDL" while the mixer runs over the SDL device, "Silent" otherwise.
String AudioDriverName();
/// The mixer's output rate and sample size (32 float, 16 integer); 0 under the
/// silent driver.
int AudioOutputRate();
/// The mixer's sample size in bits (32 float, 16 integer); 0 under the silent
/// driver.
int AudioOutputBits();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
