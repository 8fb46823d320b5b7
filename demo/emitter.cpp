#include "demo/emitter.h"

#include "corvex/random/random.h"
#include "corvex/system/system.h"
#include "demo/particle.h"

namespace demo {

using namespace cvx;

Ref<TList> EmitterList;

namespace {

// RandomReal between w and 0: uniform in [0, w) for positive w, [w, 0) for negative.
double Spread(float w) { return RandomReal(w, 0); }

}  // namespace

Ref<TEmitter> CreateEmitter(const Ref<TImage>& image, std::int32_t life, float x, float y, float areaWidth,
                            float areaHeight, float rate, const String& blend) {
  Ref<TEmitter> e(new TEmitter());
  e->image = image;
  e->life = life;
  e->created = Millis();
  e->x = x;
  e->y = y;
  e->areaWidth = areaWidth;
  e->areaHeight = areaHeight;
  e->rate = rate;
  if (!(rate >= 1)) {
    // A rate of 0 or below has no interval; such an emitter never spawns.
    e->spawnInterval = rate > 0 ? 1.0f / rate : 0.0f;
    e->countdown = 0;
  }
  e->blend = blend;
  e->state = "actif"_s;
  e->particles = NewList();
  EmitterList->PushFront(e);
  return e;
}

void TEmitter::Update() {
  if (state == "actif"_s) {
    age = MillisSince(Millis(), created) / 1000;
    if (life != -1 && age >= life) {
      // Expired: no more particles; leaves once the last one has died.
      if (particles->IsEmpty()) EmitterList->Erase(this);
      return;
    }
    Spawn();
  } else if (state == "supprime"_s) {
    // Retired (whatever its life): leaves once the last particle has died.
    if (particles->IsEmpty()) EmitterList->Erase(this);
  }
}

void TEmitter::Spawn() {
  if (rate >= 1) {
    const std::int32_t n = TruncateToInt(rate);
    for (std::int32_t i = 0; i < n; ++i) SpawnOne();
  } else if (!(rate > 0)) {
    // A rate of 0 or below (or not a number) spawns nothing.
  } else if (countdown >= 0) {
    countdown -= 1;
  } else {
    SpawnOne();
    countdown = TruncateToInt(spawnInterval);
  }
}

void TEmitter::SpawnOne() {
  // The random draws happen in exactly this order.
  const std::int32_t dy = TruncateToInt(Spread(areaHeight) - areaHeight / 2.0);
  const std::int32_t dx = TruncateToInt(Spread(areaWidth) - areaWidth / 2.0);
  Ref<TParticle> p = CreateParticle(this, image, x, y, dx, dy);
  const double ry = Spread(scaleYSpread);
  const float sy = static_cast<float>(scaleY + ry - scaleYSpread / 2.0);
  const double rx = Spread(scaleXSpread);
  const float sx = static_cast<float>(scaleX + rx - scaleXSpread / 2.0);
  p->InitScale(sx, sy, scaleXStep, scaleYStep);
  const double rda = Spread(alphaStepSpread);
  const float da = static_cast<float>(alphaStep + rda - alphaStepSpread / 2.0);
  const double ra = Spread(alphaSpread);
  const float a = static_cast<float>(alpha + ra - alphaSpread / 2.0);
  p->InitAlpha(a, da);
  p->InitMotion(vx, vy, ax, ay);
  p->InitLife(particleLife, particleLifeSpread);
}

void TEmitter::Remove(int mode) {
  if (mode == 0) {
    state = "supprime"_s;
  } else if (mode == 1) {
    state = "supprime"_s;
    if (particles) {
      for (TParticle* p : Each<TParticle>(particles.Get())) particles->Erase(p);
    }
    EmitterList->Erase(this);
  }
}

void TEmitter::SetPosition(std::int32_t px, std::int32_t py) {
  x = static_cast<float>(px);
  y = static_cast<float>(py);
}

void TEmitter::SetScaleRange(float sx, float sy, float sxSpread, float sySpread, float sxStep, float syStep) {
  scaleX = sx;
  scaleY = sy;
  scaleXSpread = sxSpread;
  scaleYSpread = sySpread;
  scaleXStep = sxStep;
  scaleYStep = syStep;
}

void TEmitter::SetMotion(float mvx, float mvy, float max, float may) {
  vx = mvx;
  vy = mvy;
  ax = max;
  ay = may;
}

void TEmitter::SetAlphaRange(float a, float aSpread, float aStep, float aStepSpread) {
  alpha = a;
  alphaSpread = aSpread;
  alphaStep = aStep;
  alphaStepSpread = aStepSpread;
}

void TEmitter::SetLife(std::int32_t pLife, std::int32_t pLifeSpread) {
  particleLife = pLife;
  particleLifeSpread = pLifeSpread;
}

void SetEmitterPosition(const Ref<TEmitter>& emitter, std::int32_t x, std::int32_t y) { emitter->SetPosition(x, y); }

void SetEmitterScale(const Ref<TEmitter>& emitter, float scaleX, float scaleY, float scaleXSpread, float scaleYSpread,
                     float scaleXStep, float scaleYStep) {
  emitter->SetScaleRange(scaleX, scaleY, scaleXSpread, scaleYSpread, scaleXStep, scaleYStep);
}

void SetEmitterMotion(const Ref<TEmitter>& emitter, float vx, float vy, float ax, float ay) {
  emitter->SetMotion(vx, vy, ax, ay);
}

void SetEmitterAlpha(const Ref<TEmitter>& emitter, float alpha, float alphaSpread, float alphaStep,
                     float alphaStepSpread) {
  emitter->SetAlphaRange(alpha, alphaSpread, alphaStep, alphaStepSpread);
}

void SetEmitterLife(const Ref<TEmitter>& emitter, std::int32_t particleLife, std::int32_t particleLifeSpread) {
  emitter->SetLife(particleLife, particleLifeSpread);
}

void RemoveEmitter(const Ref<TEmitter>& emitter, int mode) { emitter->Remove(mode); }

void UpdateEmitters() {
  // Emitters and particles may take themselves out of their lists during
  // these calls; the cursors go on with the next element.
  for (TEmitter* e : Each<TEmitter>(EmitterList.Get())) {
    e->Update();
    if (!e->particles) continue;
    for (TParticle* p : Each<TParticle>(e->particles.Get())) p->Update();
  }
}

void DrawEmitters() {
  for (TEmitter* e : Each<TEmitter>(EmitterList.Get())) {
    if (!e->particles) continue;
    for (TParticle* p : Each<TParticle>(e->particles.Get())) p->Draw();
  }
}

}  // namespace demo
