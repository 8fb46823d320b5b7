#include "demo/particle.h"

#include <cmath>
#include <limits>

#include "corvex/random/random.h"
#include "corvex/system/system.h"
#include "corvex/vex2d/vex2d.h"
#include "demo/emitter.h"

namespace demo {

using namespace cvx;

std::int32_t TruncateToInt(double value) noexcept {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

namespace {

bool FadesWith(const String& blend) { return blend == "alpha"_s || blend == "light"_s; }

}  // namespace

void TParticle::LeaveEmitter() {
  // Erasing a particle that has already left does nothing. The collector
  // keeps `this` alive while this method still runs.
  if (emitter && emitter->particles) emitter->particles->Erase(this);
}

void TParticle::Update() {
  // Velocity first, then the position with the new velocity.
  vx += ax;
  vy += ay;
  x += vx;
  y += vy;
  scaleX += scaleXStep;
  scaleY += scaleYStep;
  if (scaleX < 0 || scaleY < 0) LeaveEmitter();
  // A particle lives while the clock is at most born + life.
  if (static_cast<std::int64_t>(MillisSince(Millis(), born)) > life) LeaveEmitter();
  if (emitter && FadesWith(emitter->blend)) {
    alpha += alphaStep;
    if (alphaStep > 0 && alpha > 1) alpha = 1;
    if (alphaStep < 0 && alpha < 0) LeaveEmitter();
  }
}

void TParticle::Draw() {
  const String blend = emitter ? emitter->blend : String();
  if (blend == "alpha"_s) {
    SetBlendMode(BlendAlpha);
    SetDrawAlpha(alpha);
  } else if (blend == "light"_s) {
    SetBlendMode(BlendAdditive);
    SetDrawAlpha(alpha);
  }
  SetDrawScale(scaleX, scaleY);
  // A picture that failed to load is the drawing layer's to report.
  BlitImage(image.Get(), x, y, 0);
  SetDrawScale(1, 1);
  SetDrawAlpha(1);
  SetBlendMode(BlendMasked);
}

void TParticle::InitScale(float sx, float sy, float sxStep, float syStep) {
  scaleX = sx;
  scaleY = sy;
  scaleXStep = sxStep;
  scaleYStep = syStep;
}

void TParticle::InitAlpha(float a, float aStep) {
  alpha = a;
  alphaStep = aStep;
}

void TParticle::InitLife(std::int32_t baseLife, std::int32_t lifeSpread) {
  const std::int64_t drawn = RandomInt(lifeSpread, 1);
  const std::int64_t total = static_cast<std::int64_t>(baseLife) + drawn - lifeSpread / 2;
  life = TruncateToInt(static_cast<double>(total));
  born = Millis();
}

void TParticle::InitMotion(float mvx, float mvy, float max, float may) {
  vx = mvx;
  vy = mvy;
  ax = max;
  ay = may;
}

Ref<TParticle> CreateParticle(const Ref<TEmitter>& emitter, const Ref<TImage>& image, float x, float y,
                              std::int32_t spreadX, std::int32_t spreadY) {
  Ref<TParticle> p(new TParticle());
  p->emitter = emitter;
  p->image = image;
  // Every call centres the handle, so particles are drawn centred on (x, y).
  if (image) CentreImageHandle(image.Get());
  // The x draw comes before the y draw.
  const double rx = RandomReal(spreadX, 0);
  p->x = static_cast<float>(x + rx - spreadX / 2);
  const double ry = RandomReal(spreadY, 0);
  p->y = static_cast<float>(y + ry - spreadY / 2);
  emitter->particles->PushFront(p);
  return p;
}

}  // namespace demo
