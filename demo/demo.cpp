#include "demo/demo.h"

#include <cmath>

#include "corvex/app/app.h"
#include "corvex/audio/sound.h"
#include "corvex/graphics/graphics.h"
#include "corvex/input/input.h"
#include "corvex/input/keycodes.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/memory.h"
#include "corvex/system/system.h"
#include "corvex/vex2d/vex2d.h"
#include "demo/scene.h"

namespace demo {

using namespace cvx;

namespace {

// The pictures, loaded once and kept until the program ends.
Ref<TImage> gNearBackground;
Ref<TImage> gFarBackground;
Ref<TImage> gFireImage;
Ref<TImage> gSparkImage;
Ref<TImage> gSmokeImage;
// Played when Space brings a new spark emitter; made on entering scene 2.
Ref<TSound> gSparkSound;

// A short rising chirp that dies away: 0.15 s at 22050 Hz, made here rather
// than shipped, since it is nothing but a formula.
Ref<TSound> MakeSparkSound() {
  constexpr int kHertz = 22050;
  constexpr int kFrames = kHertz * 15 / 100;
  Ref<TPcmSample> sample = PcmSampleNew(kFrames, kHertz, PCM_MONO16LE);
  double phase = 0;
  for (int i = 0; i < kFrames; ++i) {
    const double t = static_cast<double>(i) / kHertz;
    phase += 2 * 3.14159265358979 * (600 + 8000 * t) / kHertz;
    const double value = 0.35 * std::exp(-t * 25) * std::sin(phase);
    const auto v = static_cast<std::int16_t>(std::lround(value * 32767));
    sample->samples[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
    sample->samples[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  }
  return LoadSound(sample.Get());
}

// Positions are worked out in integers, then converted.
constexpr std::int32_t kHalfWidth = ScreenWidth / 2;     // 512
constexpr std::int32_t kHalfHeight = ScreenHeight / 2;   // 384
constexpr std::int32_t kThirdWidth = ScreenWidth / 3;    // 341
constexpr std::int32_t kThirdHeight = ScreenHeight / 3;  // 256

void DrawText(const String& text, int x, int y) { DrawString(text, static_cast<float>(x), static_cast<float>(y)); }

// False when the frame limit (0: none) ended the scene before Escape.
bool SceneOne(int frameLimit) {
  int frames = 0;
  while (KeyPressCount(key::Escape) == 0) {
    UpdateScene();
    DrawScene();
    DrawText(SceneOneMemoryText(AllocatedBytes()), 0, 20);
    DrawText(FPSText(CountFPS()), 0, 40);
    DrawText("Appuyer sur ESC pour la suite"_s, 0, 748);
    FlipFrame(-1);
    if (frameLimit > 0 && ++frames == frameLimit) return false;
    ClearScreen();
  }
  // The fire emitter and all its particles leave at once.
  RemoveEmitter(FireEmitter, 1);
  return true;
}

void SceneTwo() {
  // Without an audio device the sound plays silently; the scene is the same.
  if (!gSparkSound) gSparkSound = MakeSparkSound();
  Ref<TEmitter> smoke = CreateSmokeEmitter(gSmokeImage);
  Ref<TEmitter> spark = CreateSparkEmitter(gSparkImage);
  while (KeyPressCount(key::Escape) == 0) {
    // The texts come first here, so the particles cover them.
    DrawText(SceneTwoMemoryText(AllocatedBytes()), 0, 20);
    DrawText(FPSText(CountFPS()), 0, 40);
    DrawText(EmitterCountText(ListLength(EmitterList.Get())), 0, 80);
    if (spark->state == "actif"_s) {
      DrawText("Appuyer sur ESPACE pour supprimer un emetteur"_s, 0, 748);
      if (KeyPressCount(key::Space) != 0) RemoveEmitter(spark, 0);
    } else {
      DrawText("Appuyer sur ESPACE pour creer un emetteur"_s, 0, 748);
      // The retired emitter lives on only in EmitterList until its particles are gone.
      if (KeyPressCount(key::Space) != 0) {
        spark = CreateSparkEmitter(gSparkImage);
        PlaySound(gSparkSound.Get());
      }
    }
    SetEmitterPosition(spark, PointerX(), PointerY());
    UpdateEmitters();
    DrawEmitters();
    FlipFrame(-1);
    ClearScreen();
  }
  RemoveEmitter(smoke, 1);
  RemoveEmitter(spark, 1);
}

}  // namespace

Ref<TEmitter> CreateFireEmitter(const Ref<TImage>& image) {
  Ref<TEmitter> e = CreateEmitter(image, -1, kHalfWidth, kHalfHeight, 0, 4, 2.0f, "light"_s);
  SetEmitterScale(e, 0.5f, 0.3f, 0.2f, 0.1f, 0.0f, -0.01f);
  SetEmitterAlpha(e, 0.8f, 0.2f, -0.005f, 0.0f);
  SetEmitterMotion(e, -5.0f, 0.0f, 0.0f, 0.0f);
  SetEmitterLife(e, 2000, 0);
  return e;
}

Ref<TEmitter> CreateSmokeEmitter(const Ref<TImage>& image) {
  Ref<TEmitter> e = CreateEmitter(image, -1, kHalfWidth, kHalfHeight, 100, 100, 1.0f, "alpha"_s);
  SetEmitterScale(e, 0.5f, 0.02f, 0.5f, 0.02f, 0.02f, 0.02f);
  SetEmitterAlpha(e, 0.8f, 0.0f, -0.01f, 0.0f);
  SetEmitterMotion(e, 0.0f, -2.0f, 0.0f, 0.0f);
  SetEmitterLife(e, 2000, 200);
  return e;
}

Ref<TEmitter> CreateSparkEmitter(const Ref<TImage>& image) {
  Ref<TEmitter> e = CreateEmitter(image, -1, kThirdWidth, kThirdHeight, 100, 100, 1.0f, "light"_s);
  e->SetScaleRange(0.5f, 0.5f, 0.2f, 0.2f, 0.05f, 0.05f);
  e->SetAlphaRange(0.8f, 0.0f, -0.01f, 0.0f);
  e->SetMotion(0.0f, -1.0f, 0.0f, 0.0f);
  e->SetLife(500, 500);
  return e;
}

String SceneOneMemoryText(std::int32_t bytes) {
  return Concat("Memoire allouee par l'application : "_s, String::OfInt(bytes));
}
String SceneTwoMemoryText(std::int32_t bytes) { return Concat("Memoire allouee : "_s, String::OfInt(bytes)); }
String FPSText(std::int32_t fps) { return Concat("FPS = "_s, String::OfInt(fps)); }
String EmitterCountText(std::int32_t count) { return Concat("Nombre d'emetteurs : "_s, String::OfInt(count)); }

bool RunDemo(int frameLimit) {
  static bool done = false;
  if (done) return true;
  done = true;
  StartCorvex();
  EmitterList = NewList();
  LayerList = NewList();
  ActorList = NewList();
  // The graphics layer has logged why the display could not be opened.
  if (!OpenGraphics(ScreenWidth, ScreenHeight, ScreenDepth, 60, 0)) return false;
  HidePointer();
  RegisterDemoMedias();
  gNearBackground = OpenImage("incbin::Medias/Fond_Plan_1.png"_s, -1);
  gFarBackground = OpenImage("incbin::Medias/Fond_Plan_2.png"_s, -1);
  gFireImage = OpenImage("incbin::Medias/fire.tga"_s, -1);
  gSparkImage = OpenImage("incbin::Medias/bluspark.png"_s, -1);
  gSmokeImage = OpenImage("incbin::Medias/smoke1.png"_s, -1);
  // The player starts at the pointer, which opening the display has centred.
  ActorList->PushBack(Ref<TObject>(new TPlayer()));
  FireEmitter = CreateFireEmitter(gFireImage);
  CreateScrollLayer(gFarBackground, 0, 0, -2);
  CreateScrollLayer(gNearBackground, 0, 0, -3);
  if (SceneOne(frameLimit)) SceneTwo();
  return true;
}

}  // namespace demo
