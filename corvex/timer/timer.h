/// @file
/// Timers: a TTicker is a periodic timer with a frequency in hertz. Its period
/// is measured on SDL's timer thread, which only pushes an SDL user event
/// carrying the ticker's number; the main thread's pump turns each such event
/// into OnTick, which counts the tick and dispatches a TimerTick event (or the
/// event object the program supplied). Nothing of a ticker is touched on the
/// timer thread.
#pragma once

#include <cstdint>

#include "corvex/event/event.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"

namespace cvx {

/// A periodic timer (see the file comment).
class TTicker final : public TObject {
 public:
  /// The number of ticks counted so far.
  virtual int TickCount();
  /// Stops the clock and drops tickEvent and selfRef; nothing when not running.
  virtual void Halt();
  /// One tick, on the main thread: counts it and dispatches tickEvent, or a
  /// new TimerTick (sender this ticker, data the new count).
  virtual void OnTick();
  /// Pumps (waiting) at least once and until a tick has been counted since the
  /// last return, then returns the number of ticks since the last return. A
  /// ticker that is not running, or a call from inside a pump, pumps once
  /// without waiting (nothing could ever end the wait).
  virtual int WaitTicks();

  /// A running ticker: holds itself (selfRef) until halted, so it keeps running
  /// when the program drops it. When the clock does not start (see
  /// StartTickerClock) the ticker has handle 0, never ticks and does not hold
  /// itself.
  static Ref<TTicker> Make(float hertz, TObject* event);

  ~TTicker() override;

  /// Ticks counted so far.
  int ticks = 0;
  /// The tick count at WaitTicks' last return.
  int waitMark = 0;
  /// The ticker itself while it runs (null once halted).
  Ref<TTicker> selfRef;
  /// The event dispatched at each tick, or null for a new TimerTick each time.
  Ref<TObject> tickEvent;
  int handle = 0;  ///< the SDL timer id, 0 when not running

  /// The number the timer thread's events carry for this ticker (never reused).
  int clockNumber = 0;
};

/// Runs once, after the runtime, the events and the system driver: registers
/// the SDL user event type of ticks with the pump.
void InitTimers();

/// A running ticker (TTicker::Make).
Ref<TTicker> MakeTicker(float hertz, TObject* event);

/// Starts SDL's periodic timer for the ticker at (1000 / hertz truncated) ms and
/// returns its id, or 0 when the period is not a positive 32-bit count of ms
/// (hertz above 1000, zero, negative or not a number).
int StartTickerClock(float hertz, TTicker* ticker);
/// The clock period of a frequency: 1000 / hertz ms truncated (60 Hz gives
/// 16 ms), or 0 when that is not a positive 32-bit count.
int TickerPeriodMillis(float hertz);
/// Stops the timer; nothing for id 0.
void StopTickerClock(int id);

/// The SDL event type of ticks (0 before InitTimers).
std::uint32_t TickEventType();
/// The running ticker of a clock number, or null (halted or never made).
Ref<TTicker> RunningTicker(int clockNumber);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
