// The SDL message pump: start-up of SDL's event and timer subsystems, and the
// pump with its routing of events to window procedures.
#include <SDL.h>

#include <unordered_map>

#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/platform/video.h"

namespace cvx {

namespace {

struct Registry {
  std::unordered_map<std::uint32_t, WindowProcedure> windows;
  std::unordered_map<std::uint32_t, SystemEventProcedure> types;
  std::uint32_t lastRegisteredWindow = 0;
};
Registry& Procedures() {
  static Registry* registry = new Registry();  // lives until the process ends
  return *registry;
}

}  // namespace

// ---- Start-up -------------------------------------------------------------------

bool StartPlatformEvents(std::string& whyNot) {
  // Ctrl+C and SIGTERM keep their usual meaning instead of becoming an SDL
  // quit event that nothing here listens to.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
    whyNot = SDL_GetError();
    return false;
  }
  return true;
}

SDL_Window* ActiveWindow() {
  if (!VideoRunning()) return nullptr;
  if (SDL_Window* focus = SDL_GetKeyboardFocus()) return focus;
  if (SDL_Window* hovered = SDL_GetMouseFocus()) return hovered;
  std::uint32_t last = Procedures().lastRegisteredWindow;
  return last ? SDL_GetWindowFromID(last) : nullptr;
}

// ---- Routing ----------------------------------------------------------------------

void RegisterWindowProcedure(std::uint32_t windowId, WindowProcedure procedure) {
  if (windowId == 0) return;
  Registry& registry = Procedures();
  if (!procedure) {
    UnregisterWindowProcedure(windowId);
    return;
  }
  registry.windows[windowId] = procedure;
  registry.lastRegisteredWindow = windowId;
}

void UnregisterWindowProcedure(std::uint32_t windowId) {
  Registry& registry = Procedures();
  registry.windows.erase(windowId);
  if (registry.lastRegisteredWindow == windowId) registry.lastRegisteredWindow = 0;
  ForgetPointerWindow(windowId);
}

WindowProcedure FindWindowProcedure(std::uint32_t windowId) {
  Registry& registry = Procedures();
  auto found = registry.windows.find(windowId);
  return found == registry.windows.end() ? nullptr : found->second;
}

void RegisterSystemEventProcedure(std::uint32_t eventType, SystemEventProcedure procedure) {
  Registry& registry = Procedures();
  if (procedure)
    registry.types[eventType] = procedure;
  else
    registry.types.erase(eventType);
}

std::uint32_t EventWindowId(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      return event.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return event.key.windowID;
    case SDL_TEXTEDITING:
      return event.edit.windowID;
    case SDL_TEXTINPUT:
      return event.text.windowID;
    case SDL_MOUSEMOTION:
      return event.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return event.button.windowID;
    case SDL_MOUSEWHEEL:
      return event.wheel.windowID;
    case SDL_FINGERDOWN:
    case SDL_FINGERUP:
    case SDL_FINGERMOTION:
      return event.tfinger.windowID;
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
    case SDL_DROPBEGIN:
    case SDL_DROPCOMPLETE:
      return event.drop.windowID;
    default:
      if (event.type >= SDL_USEREVENT && event.type < SDL_LASTEVENT) return event.user.windowID;
      return 0;
  }
}

void DeliverSystemEvent(const SDL_Event& event) {
  Registry& registry = Procedures();
  if (std::uint32_t windowId = EventWindowId(event)) {
    // Events of windows that are not the framework's are dropped.
    if (WindowProcedure procedure = FindWindowProcedure(windowId)) procedure(event);
    return;
  }
  auto found = registry.types.find(event.type);
  if (found != registry.types.end()) found->second(event);
}

// ---- The pump ---------------------------------------------------------------------

void PumpPlatformEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) DeliverSystemEvent(event);
}

void WaitPlatformEvents() {
  SDL_Event event;
  if (SDL_WaitEvent(&event)) DeliverSystemEvent(event);
  PumpPlatformEvents();
}

}  // namespace cvx
