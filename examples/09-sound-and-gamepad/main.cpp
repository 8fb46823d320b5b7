// Sound and a gamepad: a ship steered with the pad's stick (or the arrow
// keys) that plays a blip on the pad's first button (or Space), panned to
// where the ship is and pitched by how high it flies.
//
// Shows: making a sound from samples computed in code (PcmSampleNew,
// LoadSound); PlaySound, and the channel it gives to pan and pitch while the
// sound plays (SetChannelPan, SetChannelRate); polled gamepads: ports,
// JoystickAxis with its dead zone, JoystickHits counting presses between two
// frames; gamepads plugged in or out while the program runs.
//
//   example-sound-and-gamepad              runs until Escape or the window closes
//   example-sound-and-gamepad --frames N --virtual-pad
//       plugs in a virtual pad, pushes its stick right and presses its first
//       button, and after N frames checks that the ship moved right and one
//       blip was started (and, with a real audio device, sounded)
#include <corvex/app/app.h>
#include <corvex/audio/pcmsample.h>
#include <corvex/audio/sound.h>
#include <corvex/graphics/graphics.h>
#include <corvex/input/input.h>
#include <corvex/input/joystick.h>
#include <corvex/input/keycodes.h>
#include <corvex/platform/joystickdevice.h>
#include <corvex/system/system.h>
#include <corvex/vex2d/vex2d.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace cvx;

namespace {

constexpr int kWidth = 320, kHeight = 240, kShip = 16;
constexpr float kSpeed = 120;  // pixels per second at full stick

// A 120 ms blip: a 660 Hz tone that dies away, as signed 16-bit mono.
Ref<TSound> MakeBlip() {
  constexpr int kHertz = 22050, kFrames = kHertz * 12 / 100;
  Ref<TPcmSample> sample = PcmSampleNew(kFrames, kHertz, PCM_MONO16LE);
  for (int i = 0; i < kFrames; ++i) {
    const float t = float(i) / kHertz;
    const float level = 0.5f * (1.0f - float(i) / kFrames);
    const auto value = static_cast<std::int16_t>(32767 * level * std::sin(2 * 3.14159265f * 660 * t));
    // Low byte first, whatever this machine's byte order.
    sample->samples[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
    sample->samples[2 * i + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  }
  return LoadSound(sample.Get());  // the sound keeps its own copy of the frames
}

// The first port with a pad on it, or -1.
int FirstPad() {
  for (int port = 0; port < kJoystickPorts; ++port)
    if (JoystickAttached(port)) return port;
  return -1;
}

bool HasFlag(int argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], flag) == 0) return true;
  return false;
}

int FramesToRun(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0) return std::atoi(argv[i + 1]);
  return 0;  // no limit
}

int Game(int argc, char** argv) {
  const int frames = FramesToRun(argc, argv);
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) return 1;
  SetClearColor(8, 8, 24);
  InitSound();      // without an audio device the silent driver stands in
  InitJoysticks();  // pads already plugged in attach during the first pump
  Ref<TSound> blip = MakeBlip();
  if (!blip) return 1;

  // A pad fed by the program itself, for the timed run.
  int virtualPad = -1;
  if (HasFlag(argc, argv, "--virtual-pad")) {
    virtualPad = AttachVirtualJoystick(2, 4, 1);
    if (virtualPad < 0) return 1;
  }

  float x = kWidth / 2.0f, y = kHeight / 2.0f;
  Ref<TChannel> channel;  // the latest blip, kept to steer it while it sounds
  int blips = 0, heard = 0;
  int last = Millis();
  for (int frame = 1; !KeyIsDown(key::Escape) && !AppQuitRequested(); ++frame) {
    if (virtualPad >= 0) {
      SetVirtualJoystickAxis(virtualPad, 0, 1.0f);  // stick fully right
      SetVirtualJoystickButton(virtualPad, 0, frame == 10);
    }

    // The stick, or the arrow keys when no pad is plugged in.
    const int pad = FirstPad();
    float dx = 0, dy = 0;
    if (pad >= 0) {
      dx = JoystickAxis(pad, 0);
      dy = JoystickAxis(pad, 1);
    } else {
      dx = float(KeyIsDown(key::Right) - KeyIsDown(key::Left));
      dy = float(KeyIsDown(key::Down) - KeyIsDown(key::Up));
    }
    const int now = Millis();
    const float seconds = (now - last) / 1000.0f;
    last = now;
    x = std::fmin(std::fmax(x + dx * kSpeed * seconds, kShip / 2.0f), kWidth - kShip / 2.0f);
    y = std::fmin(std::fmax(y + dy * kSpeed * seconds, kShip / 2.0f), kHeight - kShip / 2.0f);

    // Presses since the last frame: a quick tap between two frames counts too.
    const int presses = KeyPressCount(key::Space) + (pad >= 0 ? JoystickHits(pad, 0) : 0);
    if (presses > 0) {
      channel = PlaySound(blip.Get());
      if (channel) ++blips;
    }
    // The blip follows the ship: left to right across the screen, higher up higher.
    SetChannelPan(channel.Get(), 2 * x / kWidth - 1);
    SetChannelRate(channel.Get(), 1.5f - y / kHeight);
    if (ChannelPlaying(channel.Get())) heard = 1;

    ClearScreen();
    SetDrawColor(channel && ChannelPlaying(channel.Get()) ? 255 : 80, 200, 255);
    FillOval(x - kShip / 2.0f, y - kShip / 2.0f, kShip, kShip);
    SetDrawColor(255, 255, 255);
    DrawString(pad >= 0 ? "pad "_s + String::OfInt(pad) + ": "_s + JoystickName(pad) : "no pad: arrow keys"_s, 8, 8);
    DrawString("blips: "_s + String::OfInt(blips), 8, 24);
    DrawString(AudioDriverName() == String("SDL") ? String("sound on") : String("no sound device"), 8, 40);

    if (frames > 0 && frame == frames) {
      const bool silent = AudioDriverName() != String("SDL");
      std::printf("%d frames: ship at %.0f,%.0f, %d blip(s), heard %d (%s driver)\n", frames, x, y, blips, heard,
                  silent ? "silent" : "SDL");
      return x > kWidth / 2.0f + 20 && blips == 1 && (silent || heard) ? 0 : 1;
    }
    FlipFrame(-1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Game); }
