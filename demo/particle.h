// Particles: one drawn copy of an emitter's image that moves, grows or
// shrinks, fades and dies on its own. Everything is integrated per update (per
// frame), not per unit of time.
#pragma once

#include <cstdint>

#include "corvex/pixmap/pixmap.h"  // the image header needs the complete pixmap class
#include "corvex/runtime/object.h"
#include "corvex/vex2d/image.h"

namespace demo {

class TEmitter;

class TParticle : public cvx::TObject {
 public:
  cvx::Ref<TEmitter> emitter;  // read for its particle list and its blend text
  cvx::Ref<cvx::TImage> image;
  float x = 0, y = 0;  // position of the image's handle
  float vx = 0, vy = 0;
  float ax = 0, ay = 0;
  float scaleX = 0, scaleY = 0;
  float scaleXStep = 0, scaleYStep = 0;
  float alpha = 0;
  float alphaStep = 0;    // applied only while the emitter's blend is "alpha" or "light"
  std::int32_t born = 0;  // clock reading when the life was set
  std::int32_t life = 0;  // milliseconds

  // Moves, scales and fades the particle; takes it out of its emitter's list
  // when its scale turns negative, its life has run out or it has faded out.
  virtual void Update();
  // Draws it with the emitter's blend, its alpha and its scale, then puts the
  // render state back to masked blending, alpha 1 and scale (1, 1).
  virtual void Draw();
  virtual void InitScale(float scaleX, float scaleY, float scaleXStep, float scaleYStep);
  virtual void InitAlpha(float alpha, float alphaStep);
  // life + RandomInt(lifeSpread, 1) - lifeSpread / 2; born = now.
  virtual void InitLife(std::int32_t life, std::int32_t lifeSpread);
  virtual void InitMotion(float vx, float vy, float ax, float ay);

 private:
  void LeaveEmitter();
};

// A particle at (x, y) randomised within (spreadX, spreadY), inserted at the
// front of the emitter's particle list. The image's handle is centred.
cvx::Ref<TParticle> CreateParticle(const cvx::Ref<TEmitter>& emitter, const cvx::Ref<cvx::TImage>& image, float x,
                                   float y, std::int32_t spreadX, std::int32_t spreadY);

// Clock helpers shared by the demo: differences of 32-bit millisecond
// readings taken modulo 2^32, so that the clock's wrap does not upset them.
inline std::int32_t MillisSince(std::int32_t now, std::int32_t then) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(then));
}

// Conversion toward zero that saturates instead of overflowing (NaN gives 0).
std::int32_t TruncateToInt(double value) noexcept;

}  // namespace demo
