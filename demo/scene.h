// Scene 1's actors: the endlessly scrolling background layers and the player's
// craft, which the arrow keys move and tilt, with the fire trail following it.
// Images here are drawn from their top-left corner.
#pragma once

#include <cstdint>

#include "corvex/pixmap/pixmap.h"  // the image header needs the complete pixmap class
#include "corvex/runtime/list.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/vex2d/image.h"
#include "demo/emitter.h"

namespace demo {

// The display size; the player's right-hand limit derives from the width.
inline constexpr std::int32_t ScreenWidth = 1024;
inline constexpr std::int32_t ScreenHeight = 768;
inline constexpr std::int32_t ScreenDepth = 32;

// The scrolling layers in drawing order, and the sprites, of scene 1.
extern cvx::Ref<cvx::TList> LayerList;
extern cvx::Ref<cvx::TList> ActorList;
// The fire emitter of scene 1, moved to the player every update.
extern cvx::Ref<TEmitter> FireEmitter;

// Key codes the player reads.
inline constexpr int ArrowLeftKey = 37;
inline constexpr int ArrowUpKey = 38;
inline constexpr int ArrowRightKey = 39;
inline constexpr int ArrowDownKey = 40;

class TScrollLayer : public cvx::TObject {
 public:
  cvx::Ref<cvx::TImage> image;  // 1024 pixels wide
  std::int32_t x = 0, y = 0;
  std::int32_t speed = 0;  // added to x each update

  // x += speed, back to 0 once it passes -1023.
  virtual void Update();
  // Two copies side by side, at x and x + 1024.
  virtual void Draw();
};

class TActor : public cvx::TObject {
 public:
  // Loads the 22-cell strip and starts at the pointer's position.
  TActor();

  cvx::Ref<cvx::TImage> image;
  std::int32_t x = 0, y = 0;  // top-left corner
  std::int32_t frame = 0;     // 0 .. 21
  std::int32_t speed = 1;     // a step is speed x 3 pixels
  std::int32_t lastFrameTime = 0;
  std::int32_t frameDelay = 30;  // ms before the next frame change
  cvx::String state;             // "haut", "bas" or "null"

  virtual void Update() = 0;
  virtual void Draw();
};

// The craft: frames 0..10 tilt it down from level, 11..21 up from level.
class TPlayer final : public TActor {
 public:
  void Update() override;
};

// A layer appended to the end of LayerList.
cvx::Ref<TScrollLayer> CreateScrollLayer(const cvx::Ref<cvx::TImage>& image, std::int32_t x, std::int32_t y,
                                         std::int32_t speed);
// Layers, then the player with the fire emitter following it, then the emitters.
void UpdateScene();
// Layers, actors, then the particles.
void DrawScene();

}  // namespace demo
