// Shared set-up of the system tests: SDL's dummy video driver (windows without
// a display), a recording hook on the event chain, and event builders.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "corvex/event/event.h"
#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/system/system.h"

namespace cvx::testing_support {

// Starts the system driver and SDL video on the dummy driver once per process.
inline void StartDummyVideo() {
  InitSystem();
  if (SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
}

// Records every dispatched event while alive.
class EventRecorder {
 public:
  EventRecorder() {
    InitEvents();
    Active() = this;
    AttachHook(EventDispatchHook, Hook, nullptr, 100000);
  }
  ~EventRecorder() {
    DetachHook(EventDispatchHook, Hook);
    Active() = nullptr;
  }
  EventRecorder(const EventRecorder&) = delete;
  EventRecorder& operator=(const EventRecorder&) = delete;

  std::vector<Ref<TEvent>> events;

  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (const Ref<TEvent>& event : events) ids.push_back(event->id);
    return ids;
  }
  void Clear() { events.clear(); }

 private:
  static EventRecorder*& Active() {
    static EventRecorder* active = nullptr;
    return active;
  }
  static Ref<TObject> Hook(int, TObject* data, TObject*) {
    if (TEvent* event = As<TEvent>(data); event && Active()) Active()->events.push_back(event);
    return data;
  }
};

inline SDL_Event KeyEvent(Uint32 type, SDL_Scancode scancode, Uint16 mod, Uint32 windowId, Uint8 repeat = 0) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = type;
  event.key.windowID = windowId;
  event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = repeat;
  event.key.keysym.scancode = scancode;
  event.key.keysym.mod = mod;
  return event;
}

inline SDL_Event MotionEvent(Uint32 windowId, int x, int y) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = SDL_MOUSEMOTION;
  event.motion.windowID = windowId;
  event.motion.x = x;
  event.motion.y = y;
  return event;
}

inline SDL_Event ButtonEvent(Uint32 type, Uint8 button, Uint32 windowId, int x, int y) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = type;
  event.button.windowID = windowId;
  event.button.button = button;
  event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.button.clicks = 1;
  event.button.x = x;
  event.button.y = y;
  return event;
}

inline SDL_Event WindowEvent(Uint8 what, Uint32 windowId) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = SDL_WINDOWEVENT;
  event.window.event = what;
  event.window.windowID = windowId;
  return event;
}

inline SDL_Event WheelEvent(Uint32 windowId, int y, float preciseY, Uint32 direction = SDL_MOUSEWHEEL_NORMAL,
                            int x = 0) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = SDL_MOUSEWHEEL;
  event.wheel.windowID = windowId;
  event.wheel.x = x;
  event.wheel.y = y;
  event.wheel.preciseX = static_cast<float>(x);
  event.wheel.preciseY = preciseY;
  event.wheel.direction = direction;
  return event;
}

inline SDL_Event TextEvent(Uint32 windowId, const char* utf8) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = SDL_TEXTINPUT;
  event.text.windowID = windowId;
  std::strncpy(event.text.text, utf8, sizeof event.text.text - 1);
  return event;
}

}  // namespace cvx::testing_support
