// A host system for tests: its pumps dispatch the events a test has lined up,
// so that what a query sees depends only on whether it pumped. Its clock stands
// still and its pauses return at once.
#pragma once

#include <vector>

#include "corvex/event/event.h"
#include "corvex/system/system.h"

namespace cvx {

class ScriptedHost final : public THostSystem {
 public:
  void Pump() override {
    ++pumps;
    Deliver();
  }
  void PumpWait() override {
    ++waits;
    if (pending.empty() && !onWait.empty()) {
      pending.push_back(onWait.front());
      onWait.erase(onWait.begin());
    }
    Deliver();
  }
  int Millis() override { return 0; }
  void Pause(int) override {}

  void Line(int id, int data, int x = 0, int y = 0, TObject* sender = nullptr) {
    pending.push_back(TEvent::Make(id, sender, data, 0, x, y, nullptr));
  }

  std::vector<Ref<TEvent>> pending;
  std::vector<Ref<TEvent>> onWait;  // one handed out per wait
  int pumps = 0;
  int waits = 0;

 private:
  void Deliver() {
    std::vector<Ref<TEvent>> now;
    now.swap(pending);
    for (Ref<TEvent>& event : now) event->Dispatch();
  }
};

}  // namespace cvx
