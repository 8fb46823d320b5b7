// Scene 1's actors (scrolling layers, the player's limits and tilt, the fire
// emitter following it) and the frames-per-second counter.
#include "demo/scene.h"

#include <vector>

#include "corvex/input/input.h"
#include "demo/demo.h"
#include "demo/particle.h"
#include "tests/demo/demo_fixture.h"

namespace cvx::test {
namespace {

class SceneTest : public DemoTest {
 protected:
  Ref<TPlayer> NewPlayerAt(int x, int y) {
    MovePointer(x, y);
    Ref<TPlayer> player(new TPlayer());
    return player;
  }
  // One update 16 ms after the previous one.
  void Step(TPlayer* player, int millis = 16) {
    clock->Advance(millis);
    player->Update();
  }
};

TEST_F(SceneTest, LayersWrapBeforeShowingMinus1026) {
  Ref<TScrollLayer> near = CreateScrollLayer(PlainImage(1024, 768), 0, 0, -3);
  Ref<TScrollLayer> far = CreateScrollLayer(PlainImage(1024, 768), 0, 5, -2);
  EXPECT_EQ(LayerList->Front().Get(), near.Get());  // appended in creation order
  EXPECT_EQ(LayerList->Back().Get(), far.Get());
  std::vector<int> nearSeen;
  int farMin = 0;
  for (int i = 0; i < 3000; ++i) {
    near->Update();
    far->Update();
    nearSeen.push_back(near->x);
    farMin = std::min(farMin, far->x);
    ASSERT_GE(near->x, -1023);
    ASSERT_LE(near->x, 0);
    ASSERT_NE(near->x, -1026);
  }
  // -3, -6, ..., -1023, then 0 again: 342 positions per turn.
  EXPECT_EQ(nearSeen[340], -1023);
  EXPECT_EQ(nearSeen[341], 0);
  EXPECT_EQ(nearSeen[342], -3);
  EXPECT_EQ(farMin, -1022);
  EXPECT_EQ(far->y, 5);
}

TEST_F(SceneTest, LayerDrawsTwoCopiesSideBySide) {
  UseRecordingDriver();
  Ref<TScrollLayer> layer = CreateScrollLayer(PlainImage(1024, 768), -300, 7, -3);
  layer->Draw();
  ASSERT_EQ(driver->blits.size(), 2u);
  EXPECT_EQ(driver->blits[0].tx, -300.0f);
  EXPECT_EQ(driver->blits[1].tx, 724.0f);
  EXPECT_EQ(driver->blits[1].ty, 7.0f);
  EXPECT_EQ(driver->blits[0].x0, 0.0f);  // from the top-left corner
}

TEST_F(SceneTest, PlayerStartsAtThePointerWithItsStrip) {
  Ref<TPlayer> player = NewPlayerAt(512, 384);
  EXPECT_EQ(player->x, 512);
  EXPECT_EQ(player->y, 384);
  EXPECT_EQ(player->frame, 0);
  EXPECT_EQ(player->speed, 1);
  EXPECT_EQ(player->frameDelay, 30);
  EXPECT_EQ(player->state, "null"_s);
  EXPECT_EQ(player->lastFrameTime, clock->Millis());
  ASSERT_TRUE(player->image);
  EXPECT_EQ(player->image->width, 128);
  EXPECT_EQ(player->image->height, 128);
  EXPECT_EQ(player->image->pixmaps->Length(), 22);
}

TEST_F(SceneTest, PlayerStaysWithinItsLimits) {
  Ref<TPlayer> player = NewPlayerAt(500, 300);
  PressKey(ArrowLeftKey);
  for (int i = 0; i < 400; ++i) Step(player.Get());
  EXPECT_EQ(player->x, -13);  // -10 still moves once more
  ReleaseKey(ArrowLeftKey);
  PressKey(ArrowRightKey);
  for (int i = 0; i < 400; ++i) Step(player.Get());
  EXPECT_EQ(player->x, 914);  // from -13 in steps of 3: the last step starts at 911
  ReleaseKey(ArrowRightKey);
  PressKey(ArrowUpKey);
  for (int i = 0; i < 400; ++i) Step(player.Get());
  EXPECT_EQ(player->y, -42);
  ReleaseKey(ArrowUpKey);
  PressKey(ArrowDownKey);
  for (int i = 0; i < 400; ++i) Step(player.Get());
  EXPECT_EQ(player->y, 681);
  ReleaseKey(ArrowDownKey);

  // The extremes of the ranges, from starts that reach them exactly.
  Ref<TPlayer> edge = NewPlayerAt(912, 680);
  PressKey(ArrowRightKey);
  PressKey(ArrowDownKey);
  for (int i = 0; i < 5; ++i) Step(edge.Get());
  EXPECT_EQ(edge->x, 915);
  EXPECT_EQ(edge->y, 683);
  ReleaseKey(ArrowRightKey);
  ReleaseKey(ArrowDownKey);
  Ref<TPlayer> top = NewPlayerAt(-10, -40);
  PressKey(ArrowLeftKey);
  PressKey(ArrowUpKey);
  for (int i = 0; i < 5; ++i) Step(top.Get());
  EXPECT_EQ(top->x, -13);
  EXPECT_EQ(top->y, -43);
}

TEST_F(SceneTest, HoldingUpTiltsStepByStepAndReleasingLevelsOff) {
  Ref<TPlayer> player = NewPlayerAt(400, 400);
  PressKey(ArrowUpKey);
  Step(player.Get());
  EXPECT_EQ(player->state, "haut"_s);
  EXPECT_EQ(player->frame, 11);  // jumps to level-up at the press
  std::vector<int> frames;
  for (int i = 0; i < 30; ++i) {
    Step(player.Get());
    frames.push_back(player->frame);
  }
  // 16 ms updates: a change needs more than 30 ms, so every second update.
  EXPECT_EQ(frames[0], 11);
  EXPECT_EQ(frames[1], 12);
  EXPECT_EQ(frames[2], 12);
  EXPECT_EQ(frames[3], 13);
  EXPECT_EQ(frames[19], 21);
  EXPECT_EQ(frames[29], 21);  // and no further
  for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_LE(frames[i] - frames[i - 1], 1);

  ReleaseKey(ArrowUpKey);
  std::vector<int> back;
  std::vector<String> states;
  for (int i = 0; i < 30; ++i) {
    Step(player.Get());
    back.push_back(player->frame);
    states.push_back(player->state);
  }
  EXPECT_EQ(back[0], 20);  // the last change was long enough ago
  EXPECT_EQ(back[2], 19);
  // Back at 11 on update 19 (index 18); the state turns "null" on the first
  // update that finds frame 11 without taking a step.
  EXPECT_EQ(back[18], 11);
  EXPECT_EQ(states[18], "haut"_s);
  EXPECT_EQ(states[19], "null"_s);
  EXPECT_EQ(back[29], 11);
}

TEST_F(SceneTest, HoldingDownTiltsThroughTheFirstCells) {
  Ref<TPlayer> player = NewPlayerAt(400, 400);
  PressKey(ArrowDownKey);
  Step(player.Get(), 40);
  EXPECT_EQ(player->state, "bas"_s);
  EXPECT_EQ(player->frame, 0);
  for (int i = 0; i < 10; ++i) Step(player.Get(), 40);  // every update may change
  EXPECT_EQ(player->frame, 10);
  Step(player.Get(), 40);
  EXPECT_EQ(player->frame, 10);
  ReleaseKey(ArrowDownKey);
  for (int i = 0; i < 10; ++i) Step(player.Get(), 40);
  EXPECT_EQ(player->frame, 0);
  EXPECT_EQ(player->state, "bas"_s);
  Step(player.Get(), 40);
  EXPECT_EQ(player->state, "null"_s);
  // A change needs strictly more than the delay.
  PressKey(ArrowDownKey);
  Step(player.Get(), 30);
  Step(player.Get(), 30);
  EXPECT_EQ(player->frame, 0);
  Step(player.Get(), 1);
  EXPECT_EQ(player->frame, 1);
}

TEST_F(SceneTest, UpPressedWhileDownIsHeldIsConsumedAndChangesNothing) {
  Ref<TPlayer> player = NewPlayerAt(400, 400);
  PressKey(ArrowDownKey);
  for (int i = 0; i < 6; ++i) Step(player.Get(), 40);
  const int frameBefore = player->frame;
  ASSERT_EQ(player->state, "bas"_s);
  PressKey(ArrowUpKey);
  ReleaseKey(ArrowUpKey);  // a quick tap: one hit, not held
  Step(player.Get(), 5);   // too soon for a frame change
  EXPECT_EQ(player->state, "bas"_s);
  EXPECT_EQ(player->frame, frameBefore);
  EXPECT_EQ(KeyPressCount(ArrowUpKey), 0);  // the player's query took the hit
}

TEST_F(SceneTest, FireEmitterFollowsThePlayerFromTheFirstFrame) {
  Ref<TPlayer> player = NewPlayerAt(512, 384);
  ActorList->PushBack(Ref<TObject>(player));
  FireEmitter = CreateFireEmitter(PlainImage());
  CreateScrollLayer(PlainImage(1024, 768), 0, 0, -2);
  PressKey(ArrowRightKey);
  PressKey(ArrowUpKey);
  clock->Advance(16);
  UpdateScene();
  // The player moved first; the emitter followed before it spawned.
  EXPECT_EQ(player->x, 515);
  EXPECT_EQ(player->y, 381);
  EXPECT_EQ(FireEmitter->x, 537.0f);
  EXPECT_EQ(FireEmitter->y, 449.0f);
  ASSERT_EQ(ListLength(FireEmitter->particles.Get()), 2);
  for (TParticle* p : Each<TParticle>(FireEmitter->particles.Get())) {
    EXPECT_EQ(p->x, 537.0f - 5.0f);  // born at the exhaust, then its first move
    EXPECT_NEAR(p->y, 449.0f, 1.0f);
  }
  EXPECT_EQ(RefCast<TScrollLayer>(LayerList->Front())->x, -2);
  for (int i = 0; i < 20; ++i) {
    clock->Advance(16);
    UpdateScene();
    EXPECT_EQ(FireEmitter->x, static_cast<float>(player->x + 22));
    EXPECT_EQ(FireEmitter->y, static_cast<float>(player->y + 68));
  }
}

TEST_F(SceneTest, DrawSceneDrawsLayersThenTheSpriteThenParticles) {
  UseRecordingDriver();
  Ref<TPlayer> player = NewPlayerAt(100, 200);
  ActorList->PushBack(Ref<TObject>(player));
  FireEmitter = CreateFireEmitter(PlainImage());
  CreateScrollLayer(PlainImage(1024, 768), 0, 0, -2);
  CreateScrollLayer(PlainImage(1024, 768), 0, 0, -3);
  clock->Advance(16);
  UpdateScene();
  driver->blits.clear();
  DrawScene();
  ASSERT_EQ(driver->blits.size(), 2u + 2u + 1u + 2u);
  EXPECT_EQ(driver->blits[0].tx, -2.0f);
  EXPECT_EQ(driver->blits[2].tx, -3.0f);
  EXPECT_EQ(driver->blits[4].tx, 100.0f);  // the sprite, masked
  EXPECT_EQ(driver->blits[4].blend, BlendMasked);
  EXPECT_EQ(driver->blits[5].blend, BlendAdditive);  // fire particles
}

TEST_F(SceneTest, CountFPSShowsZeroDuringTheFirstSecond) {
  clock->SetMillis(5000);
  std::vector<int> shown;
  for (int frame = 0; frame < 130; ++frame) {
    shown.push_back(CountFPS());
    clock->Advance(16);
  }
  // Calls at 5000, 5016, ...: the first closes an empty window; frames up to
  // 5992 count (62 of them); the call at 6008 closes that window.
  for (int i = 0; i <= 62; ++i) EXPECT_EQ(shown[i], 0) << i;
  EXPECT_EQ(shown[63], 62);
  EXPECT_EQ(shown[64], 62);
  // The closing frame counts in neither window: the next value is again 62.
  EXPECT_EQ(shown[126], 62);

  // Starting right after the clock starts, the first window runs to 1000.
  ResetFPSCounter();
  clock->SetMillis(200);
  EXPECT_EQ(CountFPS(), 0);
  clock->SetMillis(999);
  EXPECT_EQ(CountFPS(), 0);
  clock->SetMillis(1000);
  EXPECT_EQ(CountFPS(), 2);
}

TEST_F(SceneTest, HudTexts) {
  EXPECT_EQ(SceneOneMemoryText(46504), "Memoire allouee par l'application : 46504"_s);
  EXPECT_EQ(SceneTwoMemoryText(-3), "Memoire allouee : -3"_s);
  EXPECT_EQ(FPSText(60), "FPS = 60"_s);
  EXPECT_EQ(EmitterCountText(2), "Nombre d'emetteurs : 2"_s);
}

}  // namespace
}  // namespace cvx::test
