#include "corvex/event/event.h"

#include <gtest/gtest.h>

#include <vector>

#include "corvex/runtime/string.h"

namespace cvx {
namespace {

std::vector<Ref<TObject>> gSeen;
Ref<TObject> Collect(int, TObject* data, TObject*) {
  gSeen.push_back(data);
  return data;
}

TEST(EventText, KeyDownOfEscapeWithoutModifiers) {
  Ref<TEvent> event = TEvent::Make(KeyDown, nullptr, 27, 0, 0, 0, nullptr);
  EXPECT_EQ(event->ToString().ToStd(), "KeyDown: data=27, mods=0, x=0, y=0, extra=\"\"");
}

TEST(EventText, UnknownIdNegativeNumbersAndStringExtra) {
  EXPECT_EQ(TEvent::Make(300, nullptr, -1, 3, -20, 40, "abc"_s.Body())->ToString().ToStd(),
            "Unknown Event, id=300: data=-1, mods=3, x=-20, y=40, extra=\"abc\"");
  // The id 0 of the empty event has no name either.
  EXPECT_EQ(TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr)->ToString().ToStd(),
            "Unknown Event, id=0: data=0, mods=0, x=0, y=0, extra=\"\"");
}

TEST(EventText, NonStringExtraLeavesTheQuotesEmpty) {
  Ref<TEvent> other = TEvent::Make(KeyUp, nullptr, 0, 0, 0, 0, nullptr);
  Ref<TEvent> event = TEvent::Make(MouseMove, nullptr, 0, 0, 5, 6, other.Get());
  EXPECT_EQ(event->ToString().ToStd(), "MouseMove: data=0, mods=0, x=5, y=6, extra=\"\"");
}

TEST(EventText, EveryNamedIdHasItsName) {
  struct Named {
    int id;
    const char* name;
  };
  const Named names[] = {
      {257, "AppSuspend"},       {258, "AppResume"},      {259, "AppTerminate"},  {260, "AppOpenFile"},
      {513, "KeyDown"},          {514, "KeyUp"},          {515, "KeyChar"},       {1025, "MouseDown"},
      {1026, "MouseUp"},         {1027, "MouseMove"},     {1028, "MouseWheel"},   {1029, "MouseEnter"},
      {1030, "MouseLeave"},      {2049, "TimerTick"},     {8193, "GadgetAction"}, {8194, "GadgetPaint"},
      {8195, "GadgetSelect"},    {8196, "GadgetMenu"},    {8197, "GadgetOpen"},   {8198, "GadgetClose"},
      {8199, "GadgetDone"},      {16385, "WindowMove"},   {16386, "WindowSize"},  {16387, "WindowClose"},
      {16388, "WindowActivate"}, {16389, "WindowAccept"}, {32769, "MenuAction"}};
  for (const Named& named : names) {
    EXPECT_EQ(EventName(named.id).ToStd(), named.name);
    std::string text = TEvent::Make(named.id, nullptr, 1, 2, 3, 4, nullptr)->ToString().ToStd();
    EXPECT_EQ(text, std::string(named.name) + ": data=1, mods=2, x=3, y=4, extra=\"\"");
  }
  EXPECT_TRUE(EventName(516).IsEmpty());
}

TEST(EventDispatch, MakeKeepsEveryFieldAndDispatchRunsTheEventChain) {
  InitEvents();
  ASSERT_GE(EventDispatchHook, 0);
  gSeen.clear();
  AttachHook(EventDispatchHook, Collect, nullptr, 1000);
  Ref<TEvent> sender = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  String extra = "payload";
  Ref<TEvent> event = TEvent::Make(MouseDown, sender.Get(), 2, 4, 10, 20, extra.Body());
  EXPECT_EQ(event->id, MouseDown);
  EXPECT_EQ(event->sender.Get(), sender.Get());
  EXPECT_EQ(event->data, 2);
  EXPECT_EQ(event->mods, 4);
  EXPECT_EQ(event->x, 10);
  EXPECT_EQ(event->y, 20);
  EXPECT_EQ(event->extra.Get(), extra.Body());
  event->Dispatch();
  PostEvent(KeyChar, nullptr, 'q', 0, 0, 0, nullptr);
  DetachHook(EventDispatchHook, Collect);
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].Get(), event.Get());
  Ref<TEvent> posted = RefCast<TEvent>(gSeen[1]);
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->id, KeyChar);
  EXPECT_EQ(posted->data, 'q');
  gSeen.clear();
}

TEST(EventDispatch, InitialisingTwiceKeepsTheDispatchHook) {
  InitEvents();
  int id = EventDispatchHook;
  InitEvents();
  EXPECT_EQ(EventDispatchHook, id);
}

}  // namespace
}  // namespace cvx
