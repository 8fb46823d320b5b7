// The sound driver: the mixer over the audio device (or the silent driver),
// and the main thread's view of each voice.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "corvex/audio/mixer.h"
#include "corvex/audio/oggdecoder.h"
#include "corvex/audio/pcmdecoder.h"
#include "corvex/audio/sound.h"
#include "corvex/audio/streamer.h"
#include "corvex/audio/wavdecoder.h"
#include "corvex/platform/audiodevice.h"
#include "corvex/runtime/log.h"

namespace cvx {

namespace {

using audio::Mixer;

// What a voice plays, held on the main thread until the audio thread is done
// with it.
struct Held {
  Ref<TSound> sound;
  std::shared_ptr<audio::StreamFeed> feed;
};

struct Slot {
  bool owned = false;    // a live TChannel has this voice
  bool started = false;  // a sound was started (or cued) and not stopped or reaped
  bool paused = false;
  bool cued = false;
  std::uint32_t serial = 0;
  float volume = 1, pan = 0, rate = 1;
  Held held;
};

struct Retired {
  std::uint64_t releaseAfter;  // commands the audio thread must have applied first
  Held held;
};

struct SoundSystem {
  // Destroyed in reverse: the device stops calling the mixer before the
  // streamer and the mixer go.
  std::unique_ptr<Mixer> mixer;
  std::unique_ptr<audio::Streamer> streamer;
  std::unique_ptr<AudioDevice> device;
  AudioOutputFormat format;
  Slot slots[Mixer::kVoices];
  std::vector<Retired> retired;
};

SoundSystem* active = nullptr;  // null under the silent driver
bool initialised = false;
// Counts the starts of the driver, so that channels of an earlier one are dead.
std::uint32_t generation = 0;

void Release(SoundSystem& system, Held& held) {
  if (held.feed) {
    if (held.feed->Failed()) LogWarning("Sound: a streamed sound stopped early: %s", held.feed->Failure().c_str());
    system.streamer->Remove(held.feed.get());
  }
  held = Held{};
}

// Lets go of what the audio thread no longer reads, and frees the voices of
// dropped channels whose sound has ended.
void Reap(SoundSystem& system) {
  const std::uint64_t applied = system.mixer->AppliedCommands();
  for (std::size_t i = 0; i < system.retired.size();) {
    if (system.retired[i].releaseAfter <= applied) {
      Release(system, system.retired[i].held);
      system.retired[i] = std::move(system.retired.back());
      system.retired.pop_back();
    } else {
      ++i;
    }
  }
  for (int voice = 0; voice < Mixer::kVoices; ++voice) {
    Slot& slot = system.slots[voice];
    if (slot.started && system.mixer->FinishedSerial(voice) == slot.serial) {
      slot.started = false;
      Release(system, slot.held);
    }
  }
}

// Moves what the slot holds to the retired list, to be let go once the
// command just posted has been applied.
void Retire(SoundSystem& system, Slot& slot) {
  if (slot.held.sound || slot.held.feed)
    system.retired.push_back(Retired{system.mixer->PostedCommands(), std::move(slot.held)});
  slot.held = Held{};
  slot.started = false;
  slot.paused = false;
  slot.cued = false;
}

Slot* SlotOf(TChannel* channel) {
  if (!channel || !active || channel->Voice() < 0) return nullptr;
  return &active->slots[channel->Voice()];
}

Ref<TChannel> Begin(TSound* sound, TChannel* channel, bool cued) {
  InitSound();
  if (!sound) {
    LogWarning("PlaySound: no sound given");
    return nullptr;
  }
  Ref<TChannel> target = channel;
  if (!target) target = AllocChannel();
  if (!target) return nullptr;
  Slot* slot = SlotOf(target.Get());
  if (!slot) return target;  // the silent driver
  SoundSystem& system = *active;
  const int voice = target->Voice();
  // What earlier starts and stops on kept channels retired is let go here too,
  // not only when a channel is allocated or asked about.
  Reap(system);

  audio::VoiceSource source;
  Held held;
  held.sound = sound;
  source.loop = sound->Looping();
  source.rate = sound->Hertz();
  source.channels = sound->Channels();
  if (sound->Streamed()) {
    auto feed = std::make_shared<audio::StreamFeed>(sound->Looping());
    std::string whyNot;
    if (!feed->Open(sound->Encoded(), whyNot)) {
      LogWarning("PlaySound: the streamed sound does not open: %s", whyNot.c_str());
      system.mixer->Stop(voice);
      Retire(system, *slot);
      return target;
    }
    feed->Fill();  // the first frames are there before the voice starts
    source.ring = feed->Ring();
    system.streamer->Add(feed);
    held.feed = std::move(feed);
  } else {
    source.frames = sound->Frames().data();
    source.length = sound->Length();
  }
  system.mixer->Start(voice, ++slot->serial, source, slot->volume, slot->pan, slot->rate, cued);
  Retire(system, *slot);
  slot->held = std::move(held);
  slot->started = true;
  slot->cued = cued;
  return target;
}

}  // namespace

// ---- Channels ---------------------------------------------------------------------

TChannel::TChannel(int voice) : voice_(voice), generation_(generation) {}

int TChannel::Voice() const noexcept { return active && generation_ == generation ? voice_ : -1; }

TChannel::~TChannel() {
  if (Voice() < 0) return;
  SoundSystem& system = *active;
  Slot& slot = system.slots[voice_];
  slot.owned = false;
  // Nobody can resume it any more.
  if (slot.started && (slot.paused || slot.cued)) {
    system.mixer->Stop(voice_);
    Retire(system, slot);
  }
}

Ref<TChannel> AllocChannel() {
  InitSound();
  if (!active) return new TChannel(-1);
  SoundSystem& system = *active;
  Reap(system);
  for (int voice = 0; voice < Mixer::kVoices; ++voice) {
    Slot& slot = system.slots[voice];
    if (slot.owned || slot.started) continue;
    slot.owned = true;
    slot.volume = 1;
    slot.pan = 0;
    slot.rate = 1;
    return new TChannel(voice);
  }
  LogWarning("AllocChannel: all %d voices are in use", Mixer::kVoices);
  return nullptr;
}

Ref<TChannel> PlaySound(TSound* sound, TChannel* channel) { return Begin(sound, channel, false); }
Ref<TChannel> CueSound(TSound* sound, TChannel* channel) { return Begin(sound, channel, true); }

void StopChannel(TChannel* channel) {
  Slot* slot = SlotOf(channel);
  if (!slot) return;
  active->mixer->Stop(channel->Voice());
  Retire(*active, *slot);
  Reap(*active);
}

void PauseChannel(TChannel* channel) {
  Slot* slot = SlotOf(channel);
  if (!slot || !slot->started || slot->paused || slot->cued) return;
  active->mixer->Pause(channel->Voice());
  slot->paused = true;
}

void ResumeChannel(TChannel* channel) {
  Slot* slot = SlotOf(channel);
  if (!slot || !slot->started) return;
  if (slot->cued)
    active->mixer->ResumeTogether(channel->Voice());
  else if (slot->paused)
    active->mixer->Resume(channel->Voice());
  slot->cued = false;
  slot->paused = false;
}

void SetChannelVolume(TChannel* channel, float volume) {
  Slot* slot = SlotOf(channel);
  if (!slot) return;
  slot->volume = volume;
  active->mixer->SetVolume(channel->Voice(), volume);
}

void SetChannelPan(TChannel* channel, float pan) {
  Slot* slot = SlotOf(channel);
  if (!slot) return;
  slot->pan = pan;
  active->mixer->SetPan(channel->Voice(), pan);
}

void SetChannelRate(TChannel* channel, float rate) {
  Slot* slot = SlotOf(channel);
  if (!slot) return;
  slot->rate = rate;
  active->mixer->SetRate(channel->Voice(), rate);
}

int ChannelPlaying(TChannel* channel) {
  Slot* slot = SlotOf(channel);
  if (!slot) return 0;
  Reap(*active);
  return slot->started && !slot->paused && !slot->cued ? 1 : 0;
}

// ---- The driver -----------------------------------------------------------------

void InitSound() {
  if (initialised) return;
  initialised = true;
  ++generation;
  InitAudioSamples();
  InitWavDecoder();
  InitOggDecoder();
  auto system = std::make_unique<SoundSystem>();
  std::string whyNot;
  // The mixer's rate is known only once the device is open, so the device
  // renders through the system, whose mixer is made before Start.
  struct Forward {
    static void Render(void* data, float* out, int frames) {
      auto* owner = static_cast<SoundSystem*>(data);
      if (owner->mixer)
        owner->mixer->Render(out, frames);
      else
        std::fill(out, out + 2 * frames, 0.0f);
    }
  };
  system->device = OpenAudioDevice(48000, 32, &Forward::Render, system.get(), whyNot);
  if (!system->device) {
    LogWarning("Sound: the mixer did not start, sounds are silent: %s", whyNot.c_str());
    return;
  }
  system->format = system->device->Format();
  system->mixer = std::make_unique<Mixer>(system->format.rate, system->format.bufferFrames);
  system->streamer = std::make_unique<audio::Streamer>();
  system->device->Start();
  LogInfo("Sound: mixing at %d Hz, %d-bit, through SDL's '%s' driver", system->format.rate, system->format.sampleBits,
          system->device->DriverName().c_str());
  active = system.release();
}

void ShutdownSound() {
  if (!initialised) return;
  initialised = false;
  if (!active) return;
  SoundSystem* system = active;
  active = nullptr;
  system->device.reset();  // no render call runs after this
  for (Slot& slot : system->slots) slot.held = Held{};
  system->retired.clear();
  delete system;
}

String AudioDriverName() { return active ? String("SDL") : String("Silent"); }
int AudioOutputRate() { return active ? active->format.rate : 0; }
int AudioOutputBits() { return active ? active->format.sampleBits : 0; }

}  // namespace cvx
