#include "corvex/platform/headless/headlesshost.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace cvx {

namespace {

std::int64_t SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

THeadlessHostSystem::THeadlessHostSystem(THostSystem* inner) : inner_(inner), startNanos_(SteadyNanos()) {}

std::int64_t THeadlessHostSystem::Now() const { return (SteadyNanos() - startNanos_) / 1000000; }

std::vector<Ref<TEvent>> THeadlessHostSystem::TakeDue(std::int64_t now) {
  std::vector<Queued> due;
  auto firstLater = std::stable_partition(queue_.begin(), queue_.end(), [now](const Queued& q) { return q.due <= now; });
  due.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(firstLater));
  queue_.erase(queue_.begin(), firstLater);
  std::sort(due.begin(), due.end(),
            [](const Queued& a, const Queued& b) { return a.due != b.due ? a.due < b.due : a.order < b.order; });
  std::vector<Ref<TEvent>> events;
  events.reserve(due.size());
  for (Queued& q : due) events.push_back(std::move(q.event));
  return events;
}

void THeadlessHostSystem::Pump() {
  // Events posted by the hooks of these events wait for the next pump, so a
  // hook that always posts cannot keep one pump running for ever.
  for (Ref<TEvent>& event : TakeDue(Now())) event->Dispatch();
  if (inner_) inner_->Pump();
}

void THeadlessHostSystem::PumpWait() {
  const std::int64_t now = Now();
  std::int64_t wait = waitSliceMillis;
  for (const Queued& q : queue_) wait = std::min(wait, q.due - now);
  if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  Pump();
}

int THeadlessHostSystem::Millis() { return static_cast<int>(static_cast<std::uint32_t>(Now())); }

void THeadlessHostSystem::Pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void THeadlessHostSystem::WarpPointer(int x, int y) {
  pointerX = x;
  pointerY = y;
}
void THeadlessHostSystem::SetPointerVisible(int visible) { pointerVisible = visible ? 1 : 0; }
void THeadlessHostSystem::AlertBox(const String&, int) {}
int THeadlessHostSystem::ConfirmBox(const String&, int) { return 0; }
int THeadlessHostSystem::ProceedBox(const String&, int) { return -1; }
String THeadlessHostSystem::ChooseFile(const String&, const String&, int, const String&) { return String(); }
String THeadlessHostSystem::ChooseFolder(const String&, const String&) { return String(); }
void THeadlessHostSystem::LaunchURL(const String&) {}

void THeadlessHostSystem::PostAfter(int delayMillis, TEvent* event) {
  if (!event) return;
  queue_.push_back({Now() + std::max(delayMillis, 0), nextOrder_++, Ref<TEvent>(event)});
}

int THeadlessHostSystem::PendingCount() { return static_cast<int>(queue_.size()); }
void THeadlessHostSystem::ClearPending() { queue_.clear(); }

}  // namespace cvx
