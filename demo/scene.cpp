#include "demo/scene.h"

#include "corvex/input/input.h"
#include "corvex/system/system.h"
#include "corvex/vex2d/vex2d.h"
#include "demo/controls.h"
#include "demo/particle.h"

namespace cvx {

Ref<TList> LayerList;
Ref<TList> ActorList;
Ref<TEmitter> FireEmitter;

namespace {

constexpr std::int32_t kLayerWidth = 1024;
constexpr std::int32_t kCellSize = 128;
constexpr std::int32_t kCellCount = 22;
constexpr std::int32_t kLastDownFrame = 10;
constexpr std::int32_t kLevelUpFrame = 11;
constexpr std::int32_t kLastUpFrame = 21;
// Where the fire trail leaves the craft, from its top-left corner.
constexpr std::int32_t kExhaustX = 22;
constexpr std::int32_t kExhaustY = 68;

}  // namespace

void TScrollLayer::Update() {
  x += speed;
  if (x < -(kLayerWidth - 1)) x = 0;
}

void TScrollLayer::Draw() {
  // A picture that failed to load is the drawing layer's to report.
  BlitImage(image.Get(), static_cast<float>(x), static_cast<float>(y), 0);
  BlitImage(image.Get(), static_cast<float>(x + kLayerWidth), static_cast<float>(y), 0);
}

TActor::TActor()
    : image(OpenImageStrip("incbin::Medias/Play_All_Glued2.png"_s, kCellSize, kCellSize, 0, kCellCount, -1)),
      x(PointerX()),
      y(PointerY()),
      lastFrameTime(Millis()),
      state("null"_s) {}

void TActor::Draw() { BlitImage(image.Get(), static_cast<float>(x), static_cast<float>(y), frame); }

void TPlayer::Update() {
  // Each reading of the clock is fresh.
  auto delayPassed = [this] { return MillisSince(Millis(), lastFrameTime) > frameDelay; };
  const std::int32_t step = speed * 3;
  ReadStickArrows();

  // Limits are tested before the step, so the sprite may overshoot by less than one step.
  if (ArrowHeld(ArrowLeftKey) && x >= -10) x -= step;
  if (ArrowHeld(ArrowRightKey) && x <= ScreenWidth - 112) x += step;

  // The hit query runs first, so a pending hit is consumed even when down is held.
  if (ArrowPressCount(ArrowUpKey) && !ArrowHeld(ArrowDownKey)) {
    state = "haut"_s;
    frame = kLevelUpFrame;
    lastFrameTime = Millis();
  }
  if (ArrowHeld(ArrowUpKey)) {
    if (y >= -40) y -= step;
    if (delayPassed() && frame < kLastUpFrame) {
      frame += 1;
      lastFrameTime = Millis();
    }
  }
  if (ArrowPressCount(ArrowDownKey) && !ArrowHeld(ArrowUpKey)) {
    state = "bas"_s;
    frame = 0;
    lastFrameTime = Millis();
  }
  if (ArrowHeld(ArrowDownKey)) {
    if (y <= 680) y += step;
    if (delayPassed() && frame < kLastDownFrame) {
      frame += 1;
      lastFrameTime = Millis();
    }
  }
  if (!ArrowHeld(ArrowDownKey) && !ArrowHeld(ArrowUpKey)) {
    // Back to level one step at a time, then at rest.
    if (state == "haut"_s) {
      if (delayPassed() && frame > kLevelUpFrame) {
        frame -= 1;
        lastFrameTime = Millis();
      } else if (frame == kLevelUpFrame) {
        state = "null"_s;
      }
    } else if (state == "bas"_s) {
      if (delayPassed() && frame > 0) {
        frame -= 1;
        lastFrameTime = Millis();
      } else if (frame == 0) {
        state = "null"_s;
      }
    }
  }
}

Ref<TScrollLayer> CreateScrollLayer(const Ref<TImage>& image, std::int32_t x, std::int32_t y, std::int32_t speed) {
  Ref<TScrollLayer> layer(new TScrollLayer());
  layer->image = image;
  layer->x = x;
  layer->y = y;
  layer->speed = speed;
  LayerList->PushBack(layer);
  return layer;
}

void UpdateScene() {
  for (TScrollLayer* layer : Each<TScrollLayer>(LayerList.Get())) layer->Update();
  for (TPlayer* player : Each<TPlayer>(ActorList.Get())) {
    player->Update();
    SetEmitterPosition(FireEmitter, player->x + kExhaustX, player->y + kExhaustY);
  }
  UpdateEmitters();
}

void DrawScene() {
  for (TScrollLayer* layer : Each<TScrollLayer>(LayerList.Get())) layer->Draw();
  for (TPlayer* player : Each<TPlayer>(ActorList.Get())) player->Draw();
  DrawEmitters();
}

}  // namespace cvx
