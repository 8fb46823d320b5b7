/// @file
/// A host system that needs no display server: a monotonic millisecond clock,
/// real sleeps, and an event queue the program (or a test script) feeds, each
/// event due at a time on that clock. Pointer calls do nothing, message boxes
/// give their cancel results and requesters "".
///
/// Window-less platform events (the timer's ticks) still come from an inner
/// host when one is given: the SDL host pumps them without any display.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/event/event.h"
#include "corvex/system/system.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The host system without a display server (see the file comment).
class THeadlessHostSystem final : public THostSystem {
 public:
  /// A host whose clock starts now, over inner (may be null) for window-less
  /// platform events.
  explicit THeadlessHostSystem(THostSystem* inner = nullptr);

  /// Dispatches every queued event that is due, in due-time order (posting
  /// order among equal times), then pumps the inner host.
  void Pump() override;
  /// Pumps; when nothing is due yet, first sleeps until the next queued event
  /// is due or waitSliceMillis has passed (so that events of the inner host
  /// are seen), whichever comes first.
  void PumpWait() override;
  int Millis() override;        ///< milliseconds since the host was made (32-bit, wraps)
  void Pause(int ms) override;  ///< sleeps; nothing for ms <= 0
  void WarpPointer(int x, int y) override;
  void SetPointerVisible(int visible) override;
  void AlertBox(const String& text, int serious) override;
  int ConfirmBox(const String& text, int serious) override;  ///< 0
  int ProceedBox(const String& text, int serious) override;  ///< -1
  String ChooseFile(const String& title, const String& filter, int save, const String& initialPath) override;
  String ChooseFolder(const String& title, const String& initialPath) override;
  void LaunchURL(const String& url) override;

  /// Queues an event due delayMillis from now (0 or less: at the next pump).
  /// Null is ignored. Framework objects belong to the main thread, so this is
  /// called there (a hook may post while the pump runs).
  void PostAfter(int delayMillis, TEvent* event);
  /// Queues an event for the next pump (PostAfter with delay 0).
  void Post(TEvent* event) { PostAfter(0, event); }
  /// Queued events not yet dispatched.
  int PendingCount();
  /// Drops every queued event.
  void ClearPending();

  /// The inner host, or the null object.
  Ref<THostSystem> Inner() const { return inner_; }
  /// The longest sleep of one PumpWait, so that the inner host's events are seen.
  int waitSliceMillis = 10;
  /// @{
  /// Where WarpPointer last put the pointer, and whether it is shown (there is no
  /// real one).
  int pointerX = 0, pointerY = 0, pointerVisible = 1;
  /// @}

 private:
  struct Queued {
    std::int64_t due;       ///< milliseconds since the host was made
    std::uint64_t order;    ///< posting order, for equal due times
    Ref<TEvent> event;
  };
  std::int64_t Now() const;
  /// The due events in order, removed from the queue.
  std::vector<Ref<TEvent>> TakeDue(std::int64_t now);

  Ref<THostSystem> inner_;
  std::int64_t startNanos_;
  std::vector<Queued> queue_;
  std::uint64_t nextOrder_ = 0;
};

}  // namespace cvx

#include "corvex/runtime/api_end.h"
