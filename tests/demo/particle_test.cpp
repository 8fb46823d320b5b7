// Particle motion, growth, fading and death, and the render state of a draw.
#include "demo/particle.h"

#include <cmath>
#include <map>

#include "corvex/random/random.h"
#include "demo/demo.h"
#include "demo/emitter.h"
#include "tests/demo/demo_fixture.h"

namespace cvx::test {
namespace {

class ParticleTest : public DemoTest {
 protected:
  // Runs frames of `millis` until every particle spawned in the first frame
  // has died; returns, per particle, the update on which it left.
  std::map<TParticle*, int> LifetimesOfFirstSpawn(const Ref<TEmitter>& e, int millis, int maxUpdates) {
    clock->Advance(millis);
    e->Update();
    std::vector<Ref<TParticle>> firsts;
    for (TParticle* p : Each<TParticle>(e->particles.Get())) firsts.push_back(p);
    RemoveEmitter(e, 0);  // no more spawning; the update pass goes on
    std::map<TParticle*, int> diedOn;
    for (int update = 1; update <= maxUpdates; ++update) {
      for (TParticle* p : Each<TParticle>(e->particles.Get())) p->Update();
      for (const Ref<TParticle>& p : firsts) {
        if (!diedOn.count(p.Get()) && !ListHolds(e->particles.Get(), p.Get())) diedOn[p.Get()] = update;
      }
      clock->Advance(millis);
    }
    for (const Ref<TParticle>& p : firsts) EXPECT_TRUE(diedOn.count(p.Get())) << "a particle outlived the test";
    return diedOn;
  }
};

TEST_F(ParticleTest, FireParticlesDieByShrinkingAfter25To36Updates) {
  int shortest = 1000, longest = 0;
  for (int run = 0; run < 40; ++run) {
    Ref<TEmitter> fire = CreateFireEmitter(PlainImage());
    for (auto [particle, update] : LifetimesOfFirstSpawn(fire, 16, 60)) {
      EXPECT_GE(update, 25);
      EXPECT_LE(update, 36);
      // Shrinking killed it, long before its 2000 ms.
      EXPECT_LT(particle->scaleY, 0.0f);
      EXPECT_LT(update * 16, 2000);
      shortest = std::min(shortest, update);
      longest = std::max(longest, update);
    }
    RemoveEmitter(fire, 1);
  }
  // The spread of 0.1 in scale y really spreads the lifetimes.
  EXPECT_LE(shortest, 27);
  EXPECT_GE(longest, 34);
}

TEST_F(ParticleTest, SmokeParticlesFadeOutOnTheir81stUpdate) {
  for (int run = 0; run < 10; ++run) {
    Ref<TEmitter> smoke = CreateSmokeEmitter(PlainImage(128, 128));
    // 10 ms frames: 810 ms, well inside the 1901..2100 ms life.
    for (auto [particle, update] : LifetimesOfFirstSpawn(smoke, 10, 100)) {
      EXPECT_EQ(update, 81);
      EXPECT_LT(particle->alpha, 0.0f);
      EXPECT_GE(particle->life, 1901);
      EXPECT_LE(particle->life, 2100);
    }
    RemoveEmitter(smoke, 1);
  }
}

TEST_F(ParticleTest, SmokeStartsAsAThinStreakAndGrows) {
  Ref<TEmitter> smoke = CreateSmokeEmitter(PlainImage(128, 128));
  for (int i = 0; i < 200; ++i) smoke->Update();
  for (TParticle* p : Each<TParticle>(smoke->particles.Get())) {
    EXPECT_GE(p->scaleX, 0.25f);
    EXPECT_LT(p->scaleX, 0.75f);
    EXPECT_GE(p->scaleY, 0.01f);
    EXPECT_LT(p->scaleY, 0.03f);
    EXPECT_EQ(p->scaleXStep, 0.02f);
    EXPECT_EQ(p->scaleYStep, 0.02f);
  }
}

TEST_F(ParticleTest, LifeSpreadsMatchTheSettings) {
  Ref<TEmitter> spark = CreateSparkEmitter(PlainImage());
  Ref<TEmitter> smoke = CreateSmokeEmitter(PlainImage());
  for (int i = 0; i < 3000; ++i) {
    spark->Update();
    smoke->Update();
  }
  int sparkMin = 1 << 30, sparkMax = 0, smokeMin = 1 << 30, smokeMax = 0;
  for (TParticle* p : Each<TParticle>(spark->particles.Get())) {
    sparkMin = std::min(sparkMin, p->life);
    sparkMax = std::max(sparkMax, p->life);
  }
  for (TParticle* p : Each<TParticle>(smoke->particles.Get())) {
    smokeMin = std::min(smokeMin, p->life);
    smokeMax = std::max(smokeMax, p->life);
  }
  EXPECT_EQ(sparkMin, 251);
  EXPECT_EQ(sparkMax, 750);
  EXPECT_EQ(smokeMin, 1901);
  EXPECT_EQ(smokeMax, 2100);
}

TEST_F(ParticleTest, MotionAddsVelocityFirstThenMoves) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 100, 50, 0, 0, 1.0f, "light"_s);
  Ref<TParticle> p = CreateParticle(e, e->image, 100, 50, 0, 0);
  p->InitScale(1, 1, 0, 0);
  p->InitAlpha(1, 0);
  p->InitLife(100000, 0);
  p->InitMotion(-5, 0, 0, 0);
  p->Update();
  EXPECT_EQ(p->x, 95.0f);  // 5 to the left from the first update on
  p->Update();
  EXPECT_EQ(p->x, 90.0f);
  p->InitMotion(0, 1, 0, 2);
  p->Update();
  EXPECT_EQ(p->vy, 3.0f);
  EXPECT_EQ(p->y, 53.0f);  // the new velocity moves it
}

TEST_F(ParticleTest, LifeEndsOnceTheClockPassesBornPlusLife) {
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "other"_s);
  Ref<TParticle> p = CreateParticle(e, e->image, 0, 0, 0, 0);
  p->InitScale(1, 1, 0, 0);
  p->life = 300;
  p->born = clock->Millis();
  clock->Advance(300);
  p->Update();
  EXPECT_TRUE(ListHolds(e->particles.Get(), p.Get()));  // at born + life it still lives
  clock->Advance(1);
  p->Update();
  EXPECT_FALSE(ListHolds(e->particles.Get(), p.Get()));
  p->Update();  // already out: nothing more happens
  EXPECT_EQ(ListLength(e->particles.Get()), 0);
}

TEST_F(ParticleTest, LifeSurvivesTheClockWrapping) {
  clock->SetMillis(2147483647 - 100);
  Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, "other"_s);
  Ref<TParticle> p = CreateParticle(e, e->image, 0, 0, 0, 0);
  p->InitScale(1, 1, 0, 0);
  p->life = 500;
  p->born = clock->Millis();
  clock->Advance(400);  // the 32-bit clock has wrapped to a negative reading
  ASSERT_LT(clock->Millis(), 0);
  p->Update();
  EXPECT_TRUE(ListHolds(e->particles.Get(), p.Get()));
  clock->Advance(101);
  p->Update();
  EXPECT_FALSE(ListHolds(e->particles.Get(), p.Get()));
}

TEST_F(ParticleTest, AlphaChangesOnlyForAlphaAndLightBlends) {
  for (const char* blend : {"alpha", "light", "Light", ""}) {
    Ref<TEmitter> e = CreateEmitter(PlainImage(), -1, 0, 0, 0, 0, 1.0f, String(blend));
    Ref<TParticle> rising = CreateParticle(e, e->image, 0, 0, 0, 0);
    rising->InitScale(1, 1, 0, 0);
    rising->InitLife(100000, 0);
    rising->InitAlpha(0.9f, 0.3f);
    Ref<TParticle> fading = CreateParticle(e, e->image, 0, 0, 0, 0);
    fading->InitScale(1, 1, 0, 0);
    fading->InitLife(100000, 0);
    fading->InitAlpha(0.1f, -0.3f);
    rising->Update();
    fading->Update();
    const bool fades = String(blend) == "alpha"_s || String(blend) == "light"_s;
    // A positive step never takes alpha above 1.
    EXPECT_EQ(rising->alpha, fades ? 1.0f : 0.9f) << blend;
    EXPECT_EQ(ListHolds(e->particles.Get(), fading.Get()) != 0, !fades) << blend;
  }
}

TEST_F(ParticleTest, CreateParticleCentresTheImageHandleAndGoesToTheFront) {
  Ref<TImage> image = PlainImage(33, 20);
  Ref<TEmitter> e = CreateEmitter(image, -1, 0, 0, 0, 0, 1.0f, "light"_s);
  Ref<TParticle> first = CreateParticle(e, image, 5, 6, 0, 0);
  Ref<TParticle> second = CreateParticle(e, image, 5, 6, 0, 0);
  EXPECT_EQ(image->handleX, 16.5f);
  EXPECT_EQ(image->handleY, 10.0f);
  EXPECT_EQ(e->particles->Front().Get(), second.Get());
  EXPECT_EQ(first->x, 5.0f);
  // Spread 3: x + [0, 3) - 1.
  for (int i = 0; i < 100; ++i) {
    Ref<TParticle> p = CreateParticle(e, image, 10, 10, 3, -3);
    EXPECT_GE(p->x, 9.0f);
    EXPECT_LT(p->x, 12.0f);
    EXPECT_GT(p->y, 8.0f);  // 10 + [-3, 0) + 1
    EXPECT_LE(p->y, 11.0f);
  }
}

TEST_F(ParticleTest, DrawUsesTheBlendAlphaAndScaleThenRestoresTheState) {
  UseRecordingDriver();
  Ref<TImage> image = PlainImage(64, 64);
  struct Case {
    const char* blend;
    int drawnWith;
  };
  for (Case c : {Case{"light", BlendAdditive}, Case{"alpha", BlendAlpha}, Case{"none", BlendMultiply}}) {
    Ref<TEmitter> e = CreateEmitter(image, -1, 0, 0, 0, 0, 1.0f, String(c.blend));
    Ref<TParticle> p = CreateParticle(e, image, 200, 100, 0, 0);
    p->InitScale(0.5f, 0.25f, 0, 0);
    p->InitAlpha(0.6f, 0);
    // Whatever state came before...
    SetBlendMode(BlendMultiply);
    SetDrawAlpha(0.3f);
    SetDrawScale(2, 3);
    driver->blits.clear();
    p->Draw();
    ASSERT_EQ(driver->blits.size(), 1u);
    const BlitRecord& b = driver->blits[0];
    EXPECT_EQ(b.blend, c.drawnWith) << c.blend;
    EXPECT_FLOAT_EQ(b.alpha, c.drawnWith == BlendMultiply ? 0.3f : 0.6f) << c.blend;
    EXPECT_FLOAT_EQ(b.ix, 0.5f);
    EXPECT_FLOAT_EQ(b.jy, 0.25f);
    // Drawn centred on its position.
    EXPECT_EQ(b.x0, -32.0f);
    EXPECT_EQ(b.y0, -32.0f);
    EXPECT_EQ(b.tx, 200.0f);
    EXPECT_EQ(b.ty, 100.0f);
    // ...the draw leaves masked blending, alpha 1 and scale (1, 1).
    EXPECT_EQ(GetBlendMode(), BlendMasked);
    EXPECT_EQ(GetDrawAlpha(), 1.0f);
    float sx = 0, sy = 0;
    GetDrawScale(sx, sy);
    EXPECT_EQ(sx, 1.0f);
    EXPECT_EQ(sy, 1.0f);
    EXPECT_EQ(driver->blend, BlendMasked);
    EXPECT_EQ(driver->alpha, 1.0f);
    EXPECT_FLOAT_EQ(driver->ix, 1.0f);
  }
}

TEST_F(ParticleTest, DrawOfAParticleWithoutImageIsTheNullObjectError) {
  // A picture that failed to load reaches the drawing layer, which reports it.
  UseRecordingDriver();
  Ref<TEmitter> e = CreateEmitter(Ref<TImage>(), -1, 0, 0, 0, 0, 1.0f, "light"_s);
  Ref<TParticle> p = CreateParticle(e, Ref<TImage>(), 0, 0, 0, 0);
  EXPECT_THROW(p->Draw(), TRuntimeError);
  EXPECT_TRUE(driver->blits.empty());
}

}  // namespace
}  // namespace cvx::test
