/// @file
/// The platform's audio output as the mixer sees it: a device that, once open,
/// calls a render function on its own thread whenever it needs more sound. The
/// render function always fills interleaved stereo float frames in -1..1; a
/// backend whose hardware wants 16-bit integers converts (with clipping) in a
/// buffer it allocated when it opened, so the audio thread never allocates.
///
/// The interface names no platform type: the SDL backend is
/// corvex/platform/sdl/sdlaudiodevice.cpp.
#pragma once

#include <memory>
#include <string>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// Fills frames stereo frames (2 * frames floats) at out. Runs on the device's
/// thread: it must not allocate, block for long, or touch framework objects.
using AudioRenderFunction = void (*)(void* user, float* out, int frames);

/// What an opened device plays.
struct AudioOutputFormat {
  int rate = 0;          ///< frames per second
  int sampleBits = 0;    ///< 32 for float output, 16 for signed 16-bit
  int bufferFrames = 0;  ///< frames asked for by one render call (at most)
};

/// An open audio output (see the file comment).
class AudioDevice {
 public:
  virtual ~AudioDevice() = default;  ///< stops the render calls, then closes the device
  /// The format the device chose.
  virtual AudioOutputFormat Format() const = 0;
  /// The name of the platform driver in use ("pulseaudio", "alsa", "disk" ...).
  virtual std::string DriverName() const = 0;
  /// Begins the render calls (once).
  virtual void Start() = 0;
};

/// Opens the default output at about preferredRate (0: 48000) with float
/// (preferredBits 32) or 16-bit (16) samples; the device may choose another
/// rate, and another of the two sample kinds. The render calls begin with Start.
/// Null when no device opens, with the reason in whyNot. The platform's
/// "dummy" driver counts as no device: it plays nothing.
std::unique_ptr<AudioDevice> OpenAudioDevice(int preferredRate, int preferredBits, AudioRenderFunction render,
                                             void* user, std::string& whyNot);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
