// Spawning, the order of the random draws, removal and the update and draw
// passes of the emitters, on a virtual clock.
#include "demo/emitter.h"

#include <cmath>
#include <vector>

#include "corvex/random/random.h"
#include "demo/demo.h"
#include "demo/particle.h"
#include "tests/demo/demo_fixture.h"

namespace cvx::test {
namespace {

constexpr int kFrameMillis = 16;

class EmitterTest : public DemoTest {
 protected:
  // One demo frame: the clock moves on, then every emitter and particle updates.
  void Frame(int millis = kFrameMillis) {
    clock->Advance(millis);
    UpdateEmitters();
  }
  static int Count(const Ref<TEmitter>& e) { return ListLength(e->particles.Get()); }
  static bool Listed(const Ref<TEmitter>& e) { return ListHolds(EmitterList.Get(), e.Get()) != 0; }
};

TEST_F(EmitterTest, CreateRegistersAnActiveEmitterAtTheFront) {
  Ref<TEmitter> first = CreateEmitter(PlainImage(), -1, 1, 2, 3, 4, 1.0f, "light"_s);
  Ref<TEmitter> second = CreateEmitter(PlainImage(), 5, 10, 20, 0, 0, 0.5f, "alpha"_s);
  EXPECT_EQ(EmitterList->Front().Get(), second.Get());
  EXPECT_EQ(ListLength(EmitterList.Get()), 2);
  EXPECT_EQ(first->state, "actif"_s);
  EXPECT_EQ(first->created, clock->Millis());
  EXPECT_EQ(second->life, 5);
  EXPECT_FLOAT_EQ(second->spawnInterval, 2.0f);
  EXPECT_EQ(second->countdown, 0);
  EXPECT_FLOAT_EQ(first->spawnInterval, 0.0f);  // only set below rate 1
  ASSERT_TRUE(first->particles);
  EXPECT_EQ(Count(first), 0);
}

TEST_F(EmitterTest, RateTwoAddsTwoParticlesToTheFrontEveryUpdate) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 100, 100, 0, 0, 2.0f, "light"_s);
  e->SetLife(100000, 0);
  e->SetScaleRange(1, 1, 0, 0, 0, 0);
  Ref<TObject> oldFront;
  for (int update = 1; update <= 10; ++update) {
    Frame();
    EXPECT_EQ(Count(e), 2 * update);
    // The newest particles are at the front.
    if (oldFront) {
      EXPECT_EQ(e->particles->ItemAt(2).Get(), oldFront.Get());
    }
    oldFront = e->particles->Front();
  }
  // A fractional rate above one is truncated.
  Ref<TEmitter> f = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 2.9f, "light"_s);
  f->SetLife(100000, 0);
  f->SetScaleRange(1, 1, 0, 0, 0, 0);
  Frame();
  EXPECT_EQ(Count(f), 2);
}

TEST_F(EmitterTest, QuarterRateSpawnsOnUpdatesTwoEightFourteen) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 0.25f, "light"_s);
  e->SetLife(100000, 0);
  e->SetScaleRange(1, 1, 0, 0, 0, 0);
  std::vector<int> spawned;
  for (int update = 1; update <= 20; ++update) {
    int before = Count(e);
    Frame();
    if (Count(e) > before) spawned.push_back(update);
  }
  EXPECT_EQ(spawned, (std::vector<int>{2, 8, 14, 20}));
  // Rate one: one per update from the first.
  Ref<TEmitter> one = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  one->SetLife(100000, 0);
  one->SetScaleRange(1, 1, 0, 0, 0, 0);
  Frame();
  EXPECT_EQ(Count(one), 1);
}

TEST_F(EmitterTest, RateZeroOrBelowNeverSpawnsAndDoesNotFail) {
  Ref<TEmitter> zero = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 0.0f, "light"_s);
  Ref<TEmitter> negative = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, -3.0f, "light"_s);
  Ref<TEmitter> tiny = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1e-12f, "light"_s);
  tiny->SetLife(100000, 0);
  for (int i = 0; i < 5; ++i) Frame();
  EXPECT_EQ(Count(zero), 0);
  EXPECT_EQ(Count(negative), 0);
  EXPECT_EQ(Count(tiny), 1);  // the first on update 2, the next one practically never
  EXPECT_EQ(tiny->countdown, 2147483647 - 3);
}

// The draws happen in a fixed order: area y, area x, position x, position y,
// scale y, scale x, alpha step, alpha, life. Replaying the generator from the
// same state gives every value of the new particle.
TEST_F(EmitterTest, SpawnDrawsItsRandomNumbersInTheFixedOrder) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 300, 200, 40, 30, 1.0f, "alpha"_s);
  e->SetScaleRange(0.5f, 0.3f, 0.2f, 0.1f, 0.01f, -0.01f);
  e->SetAlphaRange(0.8f, 0.2f, -0.005f, 0.004f);
  e->SetMotion(-5, 1, 0.5f, -0.25f);
  e->SetLife(2000, 200);
  SeedRandom(987654);
  clock->Advance(kFrameMillis);
  e->Update();  // spawns, without the particle update
  ASSERT_EQ(Count(e), 1);
  Ref<TParticle> p = RefCast<TParticle>(e->particles->Front());
  ASSERT_TRUE(p);

  SeedRandom(987654);
  const int dy = static_cast<int>(RandomReal(30, 0) - 15.0);
  const int dx = static_cast<int>(RandomReal(40, 0) - 20.0);
  const float x = static_cast<float>(300.0 + RandomReal(dx, 0) - dx / 2);
  const float y = static_cast<float>(200.0 + RandomReal(dy, 0) - dy / 2);
  const float sy = static_cast<float>(0.3f + RandomReal(0.1f, 0) - 0.1f / 2.0);
  const float sx = static_cast<float>(0.5f + RandomReal(0.2f, 0) - 0.2f / 2.0);
  const float da = static_cast<float>(-0.005f + RandomReal(0.004f, 0) - 0.004f / 2.0);
  const float a = static_cast<float>(0.8f + RandomReal(0.2f, 0) - 0.2f / 2.0);
  const int life = 2000 + RandomInt(200, 1) - 100;

  EXPECT_EQ(p->x, x);
  EXPECT_EQ(p->y, y);
  EXPECT_EQ(p->scaleY, sy);
  EXPECT_EQ(p->scaleX, sx);
  EXPECT_EQ(p->scaleXStep, 0.01f);
  EXPECT_EQ(p->scaleYStep, -0.01f);
  EXPECT_EQ(p->alphaStep, da);
  EXPECT_EQ(p->alpha, a);
  EXPECT_EQ(p->vx, -5.0f);
  EXPECT_EQ(p->vy, 1.0f);
  EXPECT_EQ(p->ax, 0.5f);
  EXPECT_EQ(p->ay, -0.25f);
  EXPECT_EQ(p->life, life);
  EXPECT_EQ(p->born, clock->Millis());
  EXPECT_EQ(p->emitter.Get(), e.Get());
  EXPECT_EQ(p->image.Get(), e->image.Get());
  // One spawn takes nine units from the generator, no more.
  SeedRandom(987654);
  for (int i = 0; i < 9; ++i) NextRandomUnit();
  const int afterNine = RandomSeed();
  SeedRandom(987654);
  e->Update();
  EXPECT_EQ(RandomSeed(), afterNine);
}

TEST_F(EmitterTest, AreaZeroByFourOffsetsOnlyVerticallyByAtMostOne) {
  // The fire's area: the emitter's integer offset is -1, 0 or 1 in y (-2 only
  // for a draw of exactly 0) and 0 in x; with spread 0 in x every particle
  // sits exactly on the emitter's x.
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 250, 400, 0, 4, 2.0f, "light"_s);
  e->SetLife(100000, 0);
  e->SetScaleRange(1, 1, 0, 0, 0, 0);
  for (int i = 0; i < 200; ++i) e->Update();
  ASSERT_EQ(Count(e), 400);
  float lowest = 1e9f, highest = -1e9f;
  for (TParticle* p : Each<TParticle>(e->particles.Get())) {
    EXPECT_EQ(p->x, 250.0f);
    lowest = std::min(lowest, p->y);
    highest = std::max(highest, p->y);
  }
  // Offset d in {-1, 0, 1} and then y + [0, d) - d/2 (d/2 truncates to 0):
  // the final y lies in (399, 401).
  EXPECT_GT(lowest, 399.0f);
  EXPECT_LT(highest, 401.0f);
  EXPECT_LT(lowest, 400.0f);  // both directions occur
  EXPECT_GT(highest, 400.0f);
}

TEST_F(EmitterTest, SpreadZeroGivesTheBaseValuesExactly) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 17, 23, 0, 0, 1.0f, "light"_s);
  e->SetScaleRange(0.5f, 0.3f, 0, 0, 0, 0);
  e->SetAlphaRange(0.8f, 0, -0.01f, 0);
  e->SetLife(500, 0);
  e->Update();
  Ref<TParticle> p = RefCast<TParticle>(e->particles->Front());
  EXPECT_EQ(p->x, 17.0f);
  EXPECT_EQ(p->y, 23.0f);
  EXPECT_EQ(p->scaleX, 0.5f);
  EXPECT_EQ(p->scaleY, 0.3f);
  EXPECT_EQ(p->alpha, 0.8f);
  EXPECT_EQ(p->alphaStep, -0.01f);
  // Spread 0 gives the life or one more.
  EXPECT_TRUE(p->life == 500 || p->life == 501) << p->life;
}

TEST_F(EmitterTest, SettersTakeEffectForLaterParticlesOnly) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  SetEmitterScale(e, 1, 1, 0, 0, 0, 0);
  SetEmitterMotion(e, 2, 0, 0, 0);
  SetEmitterAlpha(e, 0.5f, 0, 0, 0);
  SetEmitterLife(e, 100000, 0);
  e->Update();
  Ref<TParticle> older = RefCast<TParticle>(e->particles->Front());
  SetEmitterMotion(e, -7, 0, 0, 0);
  SetEmitterPosition(e, 40, -30);
  EXPECT_EQ(e->x, 40.0f);
  EXPECT_EQ(e->y, -30.0f);
  e->Update();
  Ref<TParticle> newer = RefCast<TParticle>(e->particles->Front());
  EXPECT_EQ(older->vx, 2.0f);
  EXPECT_EQ(newer->vx, -7.0f);
  EXPECT_EQ(older->x, 0.0f);
  EXPECT_EQ(newer->x, 40.0f);
}

TEST_F(EmitterTest, ModeZeroKeepsTheEmitterCountedUntilItsLastParticleDies) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  e->SetScaleRange(1, 1, 0, 0, 0, 0);
  e->SetLife(2000, 0);
  for (int i = 0; i < 10; ++i) Frame();
  ASSERT_EQ(Count(e), 10);
  RemoveEmitter(e, 0);
  EXPECT_EQ(e->state, "supprime"_s);
  // No more spawning; the emitter stays listed while particles live.
  int frames = 0;
  while (Count(e) > 0 && frames < 1000) {
    Frame();
    ++frames;
    EXPECT_LE(Count(e), 10);
    if (Count(e) > 0) {
      EXPECT_TRUE(Listed(e));
    }
  }
  ASSERT_EQ(Count(e), 0);
  // The last particle died in this pass, after the emitter's own update: it
  // is still counted until the next update.
  EXPECT_TRUE(Listed(e));
  EXPECT_EQ(ListLength(EmitterList.Get()), 1);
  Frame();
  EXPECT_FALSE(Listed(e));
  EXPECT_EQ(ListLength(EmitterList.Get()), 0);
  // The particles lived their 2000 ms (or 2001), about 125 frames of 16 ms.
  EXPECT_GE(frames * kFrameMillis, 2000 - 10 * kFrameMillis);
}

TEST_F(EmitterTest, ModeOneRemovesTheEmitterAndEveryParticleBeforeTheNextDraw) {
  UseRecordingDriver();
  Ref<TEmitter> keep = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  Ref<TEmitter> gone = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 3.0f, "light"_s);
  for (Ref<TEmitter> e : {keep, gone}) {
    e->SetScaleRange(1, 1, 0, 0, 0, 0);
    e->SetLife(100000, 0);
  }
  for (int i = 0; i < 5; ++i) Frame();
  ASSERT_EQ(Count(gone), 15);
  RemoveEmitter(gone, 1);
  EXPECT_EQ(gone->state, "supprime"_s);
  EXPECT_EQ(Count(gone), 0);
  EXPECT_FALSE(Listed(gone));
  driver->blits.clear();
  DrawEmitters();
  EXPECT_EQ(driver->blits.size(), 5u);  // only the other emitter's particles
  // Any other mode does nothing.
  RemoveEmitter(keep, 2);
  RemoveEmitter(keep, -1);
  EXPECT_EQ(keep->state, "actif"_s);
  EXPECT_TRUE(Listed(keep));
  // A null emitter is the null object error, not a crash.
  EXPECT_THROW(RemoveEmitter(Ref<TEmitter>(), 1), TRuntimeError);
}

TEST_F(EmitterTest, LimitedLifeStopsSpawningAtItsAgeAndLeavesOnceEmpty) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), 3, 0, 0, 0, 0, 1.0f, "light"_s);
  e->SetScaleRange(1, 1, 0, 0, 0, 0);
  e->SetLife(400, 0);
  std::vector<int> agesThatSpawned;
  for (int frame = 0; frame < 300 && Listed(e); ++frame) {
    int before = Count(e);
    clock->Advance(20);
    e->Update();
    if (Count(e) > before) {
      if (agesThatSpawned.empty() || agesThatSpawned.back() != e->age) agesThatSpawned.push_back(e->age);
    }
    for (TParticle* p : Each<TParticle>(e->particles.Get())) p->Update();
  }
  EXPECT_EQ(agesThatSpawned, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(Listed(e));
  EXPECT_EQ(e->state, "actif"_s);  // an expired emitter is not retired
}

TEST_F(EmitterTest, AgeIsWholeSecondsAndStaysWithinTheSameSecond) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  e->SetScaleRange(1, 1, 0, 0, 0, 0);
  e->SetLife(100000, 0);
  clock->Advance(999);
  e->Update();
  EXPECT_EQ(e->age, 0);
  clock->Advance(1);
  e->Update();
  EXPECT_EQ(e->age, 1);
  clock->Advance(998);
  e->Update();
  EXPECT_EQ(e->age, 1);
  clock->Advance(5002);
  e->Update();
  EXPECT_EQ(e->age, 7);
}

TEST_F(EmitterTest, RetiredEmitterOfLimitedLifeAlsoLeavesOnceEmpty) {
  // Left alone it would stay in the list, and in the HUD's count, for ever.
  Ref<TEmitter> e = CreateEmitter(PlainImage(), 10, 0, 0, 0, 0, 1.0f, "light"_s);
  e->SetScaleRange(1, 1, 0, 0, 0, 0);
  e->SetLife(100, 0);
  Frame();
  RemoveEmitter(e, 0);
  for (int i = 0; i < 20 && Listed(e); ++i) Frame();
  EXPECT_FALSE(Listed(e));
}

TEST_F(EmitterTest, EmittersWithAnUnknownStateAreLeftAlone) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  e->state = "pause"_s;
  for (int i = 0; i < 5; ++i) Frame();
  EXPECT_EQ(Count(e), 0);
  EXPECT_TRUE(Listed(e));
}

TEST_F(EmitterTest, PassesSkipForeignEntriesAndSurviveSelfRemoval) {
  UseRecordingDriver();
  EmitterList->PushBack("not an emitter"_s);
  Ref<TEmitter> a = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  Ref<TEmitter> b = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  for (Ref<TEmitter> e : {a, b}) {
    e->SetScaleRange(1, 1, 0, 0, -2, 0);  // every particle dies on its first update
    e->SetLife(100000, 0);
  }
  a->particles->PushBack("not a particle"_s);
  Frame();
  EXPECT_EQ(Count(a), 1);  // only the foreign entry is left
  EXPECT_EQ(Count(b), 0);
  RemoveEmitter(b, 0);
  Frame();  // b takes itself out during the pass; a is still reached after it
  EXPECT_FALSE(Listed(b));
  EXPECT_TRUE(Listed(a));
  EXPECT_EQ(Count(a), 1);
  DrawEmitters();
  EXPECT_TRUE(driver->blits.empty());
}

TEST_F(EmitterTest, DrawOrderIsNewestEmitterFirstAndOldestParticleLast) {
  UseRecordingDriver();
  Ref<TEmitter> older = CreateEmitter(PlainImage(), -1, 100, 0, 0, 0, 1.0f, "light"_s);
  Ref<TEmitter> newer = CreateEmitter(PlainImage(), -1, 200, 0, 0, 0, 1.0f, "light"_s);
  for (Ref<TEmitter> e : {older, newer}) {
    e->SetScaleRange(1, 1, 0, 0, 0, 0);
    e->SetLife(100000, 0);
  }
  Frame();
  SetEmitterMotion(older, 0, 1, 0, 0);  // the second particle of each moves down
  SetEmitterMotion(newer, 0, 1, 0, 0);
  Frame();
  driver->blits.clear();
  DrawEmitters();
  ASSERT_EQ(driver->blits.size(), 4u);
  // Translations: newer emitter (x 200) first, and within it the newest
  // particle (y 1, moved once) before the oldest (y 0).
  EXPECT_EQ(driver->blits[0].tx, 200.0f);
  EXPECT_EQ(driver->blits[0].ty, 1.0f);
  EXPECT_EQ(driver->blits[1].tx, 200.0f);
  EXPECT_EQ(driver->blits[1].ty, 0.0f);
  EXPECT_EQ(driver->blits[2].tx, 100.0f);
  EXPECT_EQ(driver->blits[3].tx, 100.0f);
}

}  // namespace
}  // namespace cvx::test
