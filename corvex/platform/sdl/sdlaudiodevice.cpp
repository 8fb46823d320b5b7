// The audio device over SDL2's audio subsystem.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "corvex/platform/audiodevice.h"

namespace cvx {

namespace {

class SdlAudioDevice final : public AudioDevice {
 public:
  SdlAudioDevice(AudioRenderFunction render, void* user) : render_(render), user_(user) {}

  ~SdlAudioDevice() override {
    // Closing waits for a render call in progress to finish.
    if (id_ == 0) return;
    SDL_CloseAudioDevice(id_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool Open(int preferredRate, int preferredBits, std::string& whyNot) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      whyNot = std::string("SDL's audio subsystem did not start: ") + SDL_GetError();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    driver_ = driver ? driver : "";
    if (driver_ == "dummy") {
      whyNot = "SDL's audio driver is 'dummy', which plays nothing";
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    SDL_AudioSpec want{};
    want.freq = preferredRate > 0 ? preferredRate : 48000;
    want.format = preferredBits == 16 ? AUDIO_S16SYS : AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &SdlAudioDevice::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    id_ =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_FORMAT_CHANGE);
    if (id_ != 0 && have.format != AUDIO_F32SYS && have.format != AUDIO_S16SYS) {
      // A kind the mixer does not write: let SDL convert from the one asked for.
      SDL_CloseAudioDevice(id_);
      id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    }
    if (id_ == 0) {
      whyNot = std::string("no audio device opened through SDL's '") + driver_ + "' driver: " + SDL_GetError();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    format_.rate = have.freq;
    format_.sampleBits = have.format == AUDIO_S16SYS ? 16 : 32;
    format_.bufferFrames = have.samples;
    // Sized for the largest call SDL makes, so that the callback never grows it.
    if (format_.sampleBits == 16) scratch_.assign(static_cast<std::size_t>(have.samples) * 2 * 2, 0.0f);
    return true;
  }

  AudioOutputFormat Format() const override { return format_; }
  std::string DriverName() const override { return driver_; }
  void Start() override { SDL_PauseAudioDevice(id_, 0); }

 private:
  static void SDLCALL Callback(void* data, Uint8* stream, int bytes) {
    auto* self = static_cast<SdlAudioDevice*>(data);
    if (self->format_.sampleBits == 32) {
      self->render_(self->user_, reinterpret_cast<float*>(stream), bytes / 8);
      return;
    }
    auto* out = reinterpret_cast<Sint16*>(stream);
    int frames = bytes / 4;
    const int chunk = static_cast<int>(self->scratch_.size() / 2);
    while (frames > 0) {
      const int n = std::min(frames, chunk);
      self->render_(self->user_, self->scratch_.data(), n);
      for (int i = 0; i < 2 * n; ++i) {
        const float v = std::clamp(self->scratch_[static_cast<std::size_t>(i)], -1.0f, 1.0f);
        out[i] = static_cast<Sint16>(v * 32767.0f);
      }
      out += 2 * n;
      frames -= n;
    }
  }

  AudioRenderFunction render_;
  void* user_;
  SDL_AudioDeviceID id_ = 0;
  AudioOutputFormat format_;
  std::string driver_;
  std::vector<float> scratch_;
};

}  // namespace

std::unique_ptr<AudioDevice> OpenAudioDevice(int preferredRate, int preferredBits, AudioRenderFunction render,
                                             void* user, std::string& whyNot) {
  auto device = std::make_unique<SdlAudioDevice>(render, user);
  if (!device->Open(preferredRate, preferredBits, whyNot)) return nullptr;
  return device;
}

}  // namespace cvx
