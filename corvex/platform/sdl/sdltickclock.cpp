// Tick clocks over SDL's timer thread and a user event type of SDL's queue.
#include <SDL.h>

#include <cstdint>

#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/platform/tickclock.h"

namespace cvx {

namespace {

// The SDL event type that carries ticks (event.user.code = the clock number).
// Written once on the main thread before any clock starts.
std::uint32_t gTickEventType = 0;
TickReceiver gReceiver = nullptr;

// Runs on SDL's timer thread: it only pushes an event with the clock number
// and touches nothing else of the framework.
Uint32 TimerThreadTick(Uint32 interval, void* param) {
  SDL_Event event{};
  event.type = gTickEventType;
  event.user.code = static_cast<Sint32>(reinterpret_cast<std::intptr_t>(param));
  SDL_PushEvent(&event);
  return interval;  // periodic
}

// Runs on the main thread inside the pump.
void DeliverTick(const SDL_Event& event) {
  if (gReceiver) gReceiver(event.user.code);
}

}  // namespace

bool InitTickClocks(TickReceiver receiver) {
  if (gTickEventType != 0) return true;
  Uint32 type = SDL_RegisterEvents(1);
  if (type == static_cast<Uint32>(-1)) return false;
  gReceiver = receiver;
  gTickEventType = type;
  RegisterSystemEventProcedure(gTickEventType, DeliverTick);
  return true;
}

std::uint32_t TickClockMessageType() { return gTickEventType; }

int StartTickClock(int periodMillis, int clockNumber) {
  if (periodMillis <= 0) return 0;
  return SDL_AddTimer(static_cast<Uint32>(periodMillis), TimerThreadTick,
                      reinterpret_cast<void*>(static_cast<std::intptr_t>(clockNumber)));
}

void StopTickClock(int id) {
  if (id != 0) SDL_RemoveTimer(id);
}

}  // namespace cvx
