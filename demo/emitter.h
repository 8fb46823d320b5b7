// Particle emitters: a point with an optional spawn area that creates
// particles of one image at a fixed rate, gives each new one randomised
// scale, transparency, motion and life, and owns the list of its living
// particles. Every emitter of the program is in EmitterList.
#pragma once

#include <cstdint>

#include "corvex/pixmap/pixmap.h"  // the image header needs the complete pixmap class
#include "corvex/runtime/list.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"
#include "corvex/vex2d/image.h"

namespace demo {

class TParticle;

// Every live emitter, newest first. The demo's start-up makes the list.
extern cvx::Ref<cvx::TList> EmitterList;

class TEmitter : public cvx::TObject {
 public:
  cvx::Ref<cvx::TList> particles;  // living particles, newest first
  cvx::Ref<cvx::TImage> image;
  float x = 0, y = 0;
  float areaWidth = 0, areaHeight = 0;  // spawn area centred on (x, y)
  float vx = 0, vy = 0;
  float ax = 0, ay = 0;
  std::int32_t age = 0;      // whole seconds since creation
  std::int32_t created = 0;  // clock reading at creation
  std::int32_t life = 0;     // seconds; -1 = until removed
  float rate = 0;            // particles per update
  float spawnInterval = 0;   // 1 / rate, when rate is below 1
  std::int32_t countdown = 0;
  float scaleX = 0, scaleY = 0;
  float scaleXSpread = 0, scaleYSpread = 0;
  float scaleXStep = 0, scaleYStep = 0;
  float alpha = 0, alphaSpread = 0;
  float alphaStep = 0, alphaStepSpread = 0;
  cvx::String blend;  // "light" or "alpha"
  std::int32_t particleLife = 0, particleLifeSpread = 0;
  cvx::String state;  // "actif" while emitting, "supprime" once retired

  // Refreshes the age and spawns (an active emitter), or leaves EmitterList
  // once the last particle of a retired or expired emitter has died.
  virtual void Update();
  // 0: stop emitting, leave once the particles are gone. 1: leave now with
  // every particle. Other modes do nothing.
  virtual void Remove(int mode);
  virtual void SetPosition(std::int32_t x, std::int32_t y);
  virtual void SetScaleRange(float scaleX, float scaleY, float scaleXSpread, float scaleYSpread, float scaleXStep,
                             float scaleYStep);
  virtual void SetMotion(float vx, float vy, float ax, float ay);
  virtual void SetAlphaRange(float alpha, float alphaSpread, float alphaStep, float alphaStepSpread);
  virtual void SetLife(std::int32_t particleLife, std::int32_t particleLifeSpread);

 private:
  void Spawn();
  void SpawnOne();
};

// Creates an active emitter and inserts it at the front of EmitterList.
cvx::Ref<TEmitter> CreateEmitter(const cvx::Ref<cvx::TImage>& image, std::int32_t life, float x, float y,
                                 float areaWidth, float areaHeight, float rate, const cvx::String& blend);
void SetEmitterPosition(const cvx::Ref<TEmitter>& emitter, std::int32_t x, std::int32_t y);
void SetEmitterScale(const cvx::Ref<TEmitter>& emitter, float scaleX, float scaleY, float scaleXSpread,
                     float scaleYSpread, float scaleXStep, float scaleYStep);
void SetEmitterMotion(const cvx::Ref<TEmitter>& emitter, float vx, float vy, float ax, float ay);
void SetEmitterAlpha(const cvx::Ref<TEmitter>& emitter, float alpha, float alphaSpread, float alphaStep,
                     float alphaStepSpread);
void SetEmitterLife(const cvx::Ref<TEmitter>& emitter, std::int32_t particleLife, std::int32_t particleLifeSpread);
void RemoveEmitter(const cvx::Ref<TEmitter>& emitter, int mode);

// One update pass: each emitter of EmitterList, then each of its particles.
void UpdateEmitters();
// One draw pass over every particle of every emitter.
void DrawEmitters();

}  // namespace demo
