// The SDL host system: start-up of SDL's event and timer subsystems, the pump
// with its routing of events to window procedures, the clock, the pointer and
// the message boxes.
#include "corvex/system/sdlhost.h"

#include <SDL.h>
#include <time.h>

#include <cstdlib>
#include <unordered_map>

#include "corvex/runtime/log.h"
#include "corvex/runtime/startup.h"

namespace cvx {

namespace detail {
void InstallInitialHost(THostSystem* host);
}

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

bool VideoStarted() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

// The window the program works in: the one with the keyboard focus, else the
// one under the pointer, else the framework window registered last.
SDL_Window* ActiveWindow() {
  if (!VideoStarted()) return nullptr;
  if (SDL_Window* focus = SDL_GetKeyboardFocus()) return focus;
  if (SDL_Window* hovered = SDL_GetMouseFocus()) return hovered;
  std::uint32_t last = Procedures().lastRegisteredWindow;
  return last ? SDL_GetWindowFromID(last) : nullptr;
}

// Button ids of the message boxes.
constexpr int kButtonOk = 1;
constexpr int kButtonCancel = 2;
constexpr int kButtonYes = 3;
constexpr int kButtonNo = 4;

// Shows a modal box captioned with the application title and returns the
// chosen button id, -1 when it was closed or could not be shown. The window
// that had the focus gets it back afterwards.
int ShowBox(const String& text, int serious, const SDL_MessageBoxButtonData* buttons, int count) {
  SDL_Window* focused = VideoStarted() ? SDL_GetKeyboardFocus() : nullptr;
  std::uint32_t focusedId = focused ? SDL_GetWindowID(focused) : 0;
  std::string title = AppTitle().ToUtf8();
  std::string message = text.ToUtf8();
  SDL_MessageBoxData data{};
  data.flags = static_cast<Uint32>(serious ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION) |
               SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
  data.window = ActiveWindow();
  data.title = title.c_str();
  data.message = message.c_str();
  data.numbuttons = count;
  data.buttons = buttons;
  int chosen = -1;
  if (SDL_ShowMessageBox(&data, &chosen) != 0) {
    LogWarning("message box \"%s\" could not be shown: %s", message.c_str(), SDL_GetError());
    chosen = -1;
  }
  if (focusedId) {
    if (SDL_Window* window = SDL_GetWindowFromID(focusedId)) SDL_RaiseWindow(window);
  }
  return chosen;
}

}  // namespace

// ---- Start-up -------------------------------------------------------------------

void InitSystem() {
  static bool done = false;
  if (done) return;
  InitEvents();
  // Ctrl+C and SIGTERM keep their usual meaning instead of becoming an SDL
  // quit event that nothing here listens to.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0)
    Throw("Unable to start the SDL event and timer subsystems: "_s + String(SDL_GetError()));
  done = true;
  detail::InstallInitialHost(new TSdlHostSystem());
}

// ---- Video ------------------------------------------------------------------------

bool StartVideo(std::string* reason) {
  if (VideoStarted()) return true;
  std::string tried;
  // The choice is made again on every attempt: the environment may change.
  static bool chosenHere = false;
  if (chosenHere || !SDL_GetHint(SDL_HINT_VIDEODRIVER)) {
    chosenHere = true;
    // Only drivers that show something. Wayland is tried only when its
    // display is named: its library complains on standard error otherwise.
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string drivers;
    if (x11 && *x11) drivers = "x11";
    if (wayland && *wayland) drivers += drivers.empty() ? "wayland" : ",wayland";
    if (drivers.empty()) {
      drivers = "x11";
      tried = " (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  if (reason) *reason = std::string(SDL_GetError()) + tried;
  return false;
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

// ---- TSdlHostSystem ---------------------------------------------------------------

TSdlHostSystem::TSdlHostSystem() = default;

void TSdlHostSystem::Pump() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) DeliverSystemEvent(event);
}

void TSdlHostSystem::PumpWait() {
  SDL_Event event;
  if (SDL_WaitEvent(&event)) DeliverSystemEvent(event);
  Pump();
}

// Milliseconds since the system started, on 32 bits (wrapping after 49 days),
// not since SDL started: programs time windows and schedules from it.
int TSdlHostSystem::Millis() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<int>(static_cast<std::uint32_t>(ms));
}

void TSdlHostSystem::Pause(int ms) {
  if (ms > 0) SDL_Delay(static_cast<Uint32>(ms));
}

void TSdlHostSystem::WarpPointer(int x, int y) {
  if (!VideoStarted()) return;
  if (SDL_Window* window = ActiveWindow())
    SDL_WarpMouseInWindow(window, x, y);
  else
    SDL_WarpMouseGlobal(x, y);
}

void TSdlHostSystem::SetPointerVisible(int visible) {
  // SDL keeps a single shown/hidden state, so calls never nest.
  SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void TSdlHostSystem::AlertBox(const String& text, int serious) {
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kButtonOk, "OK"}};
  ShowBox(text, serious, buttons, 1);
}

int TSdlHostSystem::ConfirmBox(const String& text, int serious) {
  const SDL_MessageBoxButtonData buttons[] = {{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kButtonOk, "OK"},
                                              {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kButtonCancel, "Cancel"}};
  return ConfirmResultOf(ShowBox(text, serious, buttons, 2));
}

int TSdlHostSystem::ProceedBox(const String& text, int serious) {
  const SDL_MessageBoxButtonData buttons[] = {{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kButtonYes, "Yes"},
                                              {0, kButtonNo, "No"},
                                              {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kButtonCancel, "Cancel"}};
  return ProceedResultOf(ShowBox(text, serious, buttons, 3));
}

int ConfirmResultOf(int buttonId) { return buttonId == kButtonOk ? 1 : 0; }

int ProceedResultOf(int buttonId) {
  if (buttonId == kButtonYes) return 1;
  if (buttonId == kButtonNo) return 0;
  return -1;
}

String TSdlHostSystem::ChooseFile(const String& title, const String& filter, int save, const String& initialPath) {
  return RunZenity(ZenityFileArguments(title, filter, save, initialPath));
}

String TSdlHostSystem::ChooseFolder(const String& title, const String& initialPath) {
  return RunZenity(ZenityFolderArguments(title, initialPath));
}

void TSdlHostSystem::LaunchURL(const String& url) {
  // Failures are not reported.
  SDL_OpenURL(url.ToUtf8().c_str());
}

}  // namespace cvx
