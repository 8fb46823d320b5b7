#include "corvex/timer/timer.h"

#include <cmath>
#include <limits>
#include <unordered_map>

#include "corvex/platform/tickclock.h"
#include "corvex/system/system.h"

namespace cvx {

namespace {

// Running tickers by clock number. A ticker is listed from Make until Halt and
// holds itself (selfRef) all that time, so a listed pointer is always alive.
// Numbers are never reused, so a tick event still queued when its ticker was
// halted (or has since been freed) finds nothing here and is ignored.
std::unordered_map<int, TTicker*>& Running() {
  static auto* running = new std::unordered_map<int, TTicker*>();
  return *running;
}
int gLastClockNumber = 0;

// Runs on the main thread inside the pump.
void DeliverTick(int clockNumber) {
  auto found = Running().find(clockNumber);
  if (found == Running().end()) return;  // halted or freed: ignored
  Ref<TTicker> ticker = found->second;
  ticker->OnTick();
}

}  // namespace

void InitTimers() {
  static bool done = false;
  if (done) return;
  InitEvents();
  InitSystem();
  if (!InitTickClocks(DeliverTick)) Throw("Unable to register the timer tick event"_s);
  done = true;
}

std::uint32_t TickEventType() { return TickClockMessageType(); }

Ref<TTicker> RunningTicker(int clockNumber) {
  auto found = Running().find(clockNumber);
  return found == Running().end() ? Ref<TTicker>() : Ref<TTicker>(found->second);
}

int TickerPeriodMillis(float hertz) {
  double period = 1000.0 / static_cast<double>(hertz);
  // Above 1000 Hz, zero, negative or NaN: no period the clock can run at.
  if (!(period >= 1.0) || period > static_cast<double>(std::numeric_limits<std::int32_t>::max())) return 0;
  return static_cast<int>(period);
}

int StartTickerClock(float hertz, TTicker* ticker) {
  InitTimers();
  if (!ticker) return 0;
  int period = TickerPeriodMillis(hertz);
  if (period == 0) return 0;
  if (ticker->clockNumber == 0) ticker->clockNumber = ++gLastClockNumber;
  Running()[ticker->clockNumber] = ticker;
  int id = StartTickClock(period, ticker->clockNumber);
  if (id == 0) Running().erase(ticker->clockNumber);
  return id;
}

void StopTickerClock(int id) { StopTickClock(id); }

Ref<TTicker> TTicker::Make(float hertz, TObject* event) {
  InitTimers();
  Ref<TTicker> ticker = new TTicker();
  ticker->selfRef = ticker;
  ticker->tickEvent = event;
  ticker->handle = StartTickerClock(hertz, ticker.Get());
  // A ticker whose clock did not start never runs, so nothing would ever halt
  // it: it does not hold itself, and goes when the program drops it.
  if (ticker->handle == 0) ticker->selfRef = nullptr;
  return ticker;
}

Ref<TTicker> MakeTicker(float hertz, TObject* event) { return TTicker::Make(hertz, event); }

TTicker::~TTicker() {
  // A ticker is only freed after Halt (or when its clock never started), so
  // this is a safety net: no tick may ever reach a freed ticker.
  if (clockNumber) {
    auto found = Running().find(clockNumber);
    if (found != Running().end() && found->second == this) Running().erase(found);
  }
  StopTickerClock(handle);
}

int TTicker::TickCount() { return ticks; }

void TTicker::Halt() {
  if (handle == 0) return;
  StopTickerClock(handle);
  handle = 0;
  // Tick events already pushed for this ticker are ignored from now on.
  Running().erase(clockNumber);
  tickEvent = nullptr;
  selfRef = nullptr;  // may leave the ticker to the collector once the program drops it
}

void TTicker::OnTick() {
  ++ticks;
  Ref<TObject> event = tickEvent;
  if (!event) event = TEvent::Make(TimerTick, this, ticks, 0, 0, 0, nullptr);
  Ref<TEvent> asEvent = RefCast<TEvent>(event);
  if (asEvent)
    asEvent->Dispatch();
  else
    CallHooks(EventDispatchHook, event.Get());  // a program object goes through the chain as it is
}

int TTicker::WaitTicks() {
  if (handle == 0 || PumpIsBusy()) {
    // A ticker that is not running, or a call from inside a pump, would wait
    // for ever: it looks at what is pending and returns what has been counted.
    PumpSystem();
  } else {
    do {
      PumpSystemWait();
    } while (ticks == waitMark && handle != 0);  // a hook may halt the ticker meanwhile
  }
  int count = ticks - waitMark;
  waitMark = ticks;
  return count;
}

}  // namespace cvx
