// Translation of SDL events of framework windows into TEvents, the modifier
// mask and the pointer's enter/leave tracking.
#include <SDL.h>

#include "corvex/event/event.h"
#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/platform/video.h"

namespace cvx {

int ModifierMask = 0;

namespace {

// Pointer tracking: one tracked window per process, with the sender recorded
// when the pointer entered it.
std::uint32_t gTrackedWindow = 0;
Ref<TObject> gTrackedSender;

// Makes the event and dispatches it at once.
void Post(int id, TObject* sender, int data, int mods, int x, int y) {
  TEvent::Make(id, sender, data, mods, x, y, nullptr)->Dispatch();
}

SDL_Window* WindowOf(std::uint32_t windowId) {
  if (windowId == 0 || SDL_WasInit(SDL_INIT_VIDEO) == 0) return nullptr;
  return SDL_GetWindowFromID(windowId);
}

// Whether (x, y) lies in the client area; a window SDL does not know is
// taken to contain every point, since its size cannot be read.
bool InsideClientArea(std::uint32_t windowId, int x, int y) {
  SDL_Window* window = WindowOf(windowId);
  if (!window) return true;
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  return x >= 0 && y >= 0 && x < width && y < height;
}

// Screen position of a window's client origin ((0, 0) when unknown).
void WindowOrigin(std::uint32_t windowId, int& x, int& y) {
  x = y = 0;
  if (SDL_Window* window = WindowOf(windowId)) SDL_GetWindowPosition(window, &x, &y);
}

// The tracking step; the pointer's screen position is passed when the caller
// knows it from the event, otherwise it is read from the platform.
void Track(std::uint32_t target, int x, int y, TObject* sender, bool havePointer, int screenX, int screenY) {
  if (target == gTrackedWindow) return;
  if (gTrackedWindow) {
    if (!havePointer) {
      screenX = screenY = 0;
      if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_GetGlobalMouseState(&screenX, &screenY);
    }
    int originX, originY;
    WindowOrigin(gTrackedWindow, originX, originY);
    Ref<TObject> leaving = gTrackedSender;
    gTrackedSender = nullptr;
    gTrackedWindow = 0;
    Post(MouseLeave, leaving.Get(), 0, 0, screenX - originX, screenY - originY);
  }
  gTrackedWindow = target;
  if (target) {
    gTrackedSender = sender;
    Post(MouseEnter, sender, 0, 0, x, y);
  }
}

int ButtonNumber(Uint8 sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT:
      return 1;
    case SDL_BUTTON_RIGHT:
      return 2;
    case SDL_BUTTON_MIDDLE:
      return 3;
    default:
      return 0;  // extra buttons produce nothing
  }
}

void CaptureMouse(bool on) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE);
}

// The characters the original platform types for keys that SDL's text input
// leaves out (it never reports control characters).
int ControlCharOfKey(int virtualKey, unsigned mod) {
  if (mod & (KMOD_CTRL | KMOD_ALT)) return 0;
  switch (virtualKey) {
    case 8:
    case 9:
    case 13:
    case 27:
      return virtualKey;
    default:
      return 0;
  }
}

void TranslateKey(const SDL_KeyboardEvent& key, TObject* sender) {
  // The mask is the modifier state at the time of this key event (SDL's own
  // state has already moved on to the newest event it has read).
  ModifierMask = ModifierMaskOf(key.keysym.mod);
  int code = VirtualKeyOfKey(key.keysym.scancode, key.keysym.mod);
  if (code < 1 || code > 255) return;
  if (key.type == SDL_KEYDOWN) {
    if (!key.repeat) Post(KeyDown, sender, code, ModifierMask, 0, 0);
    // Typed characters repeat with the key, as on the original platform.
    if (int ch = ControlCharOfKey(code, key.keysym.mod)) Post(KeyChar, sender, ch, ModifierMask, 0, 0);
  } else {
    Post(KeyUp, sender, code, ModifierMask, 0, 0);
  }
}

void TranslateText(const SDL_TextInputEvent& text, TObject* sender) {
  String units = String::OfUtf8(text.text);
  for (std::int32_t i = 0; i < units.Length(); ++i) Post(KeyChar, sender, units[i], ModifierMask, 0, 0);
}

// Set when a framework window lost the keyboard focus to another framework
// window: the application keeps the user's attention, so neither the loss
// nor the gain that follows is a suspension.
bool gFocusMovesWithin = false;

bool IsFrameworkWindow(SDL_Window* window) { return window && FindWindowProcedure(SDL_GetWindowID(window)) != nullptr; }

// Whether the focus that windowId just lost goes to a framework window: SDL
// already gives it the focus, or its focus gain is already queued.
bool FocusGoesToOwnWindow(std::uint32_t windowId) {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
  SDL_Window* focus = SDL_GetKeyboardFocus();
  if (focus && SDL_GetWindowID(focus) != windowId && IsFrameworkWindow(focus)) return true;
  SDL_Event queued[64];
  int n = SDL_PeepEvents(queued, 64, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
  for (int i = 0; i < n; ++i) {
    const SDL_WindowEvent& w = queued[i].window;
    if (w.event == SDL_WINDOWEVENT_FOCUS_GAINED && FindWindowProcedure(w.windowID)) return true;
  }
  return false;
}

void TranslateWindowEvent(const SDL_WindowEvent& window, TObject* sender) {
  switch (window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      Post(AppTerminate, sender, 0, ModifierMask, 0, 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (gFocusMovesWithin) {
        gFocusMovesWithin = false;
        break;
      }
      Post(AppResume, sender, 0, ModifierMask, 0, 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (FocusGoesToOwnWindow(window.windowID)) {
        gFocusMovesWithin = true;
        break;
      }
      Post(AppSuspend, sender, 0, ModifierMask, 0, 0);
      break;
    case SDL_WINDOWEVENT_LEAVE:
      // The leave notification of the tracked window: it is left for no window.
      if (window.windowID == gTrackedWindow) Track(0, 0, 0, nullptr, false, 0, 0);
      break;
    default:
      break;
  }
}

void TranslateMotion(const SDL_MouseMotionEvent& motion, TObject* sender) {
  std::uint32_t target = InsideClientArea(motion.windowID, motion.x, motion.y) ? motion.windowID : 0;
  int originX, originY;
  WindowOrigin(motion.windowID, originX, originY);
  Track(target, motion.x, motion.y, sender, true, originX + motion.x, originY + motion.y);
  Post(MouseMove, sender, 0, ModifierMask, motion.x, motion.y);
}

void TranslateWheel(const SDL_MouseWheelEvent& wheel, TObject* sender) {
  // A purely horizontal wheel produces nothing; half a notch gives 0 steps.
  if (wheel.y == 0 && wheel.preciseY == 0.0f) return;
  int steps = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
  Post(MouseWheel, sender, steps, ModifierMask, 0, 0);
}

}  // namespace

int ModifierMaskOf(unsigned sdlModState) {
  int mask = 0;
  if (sdlModState & KMOD_SHIFT) mask |= ModShift;
  if (sdlModState & KMOD_CTRL) mask |= ModControl;
  if (sdlModState & KMOD_ALT) mask |= ModAlt;
  if (sdlModState & KMOD_GUI) mask |= ModSystem;
  return mask;
}

void RefreshModifiers() { ModifierMask = ModifierMaskOf(static_cast<unsigned>(SDL_GetModState())); }

int VirtualKeyOfKey(int scancode, unsigned sdlModState) {
  if (!(sdlModState & KMOD_NUM)) {
    switch (scancode) {
      case SDL_SCANCODE_KP_0:
        return 45;  // Insert
      case SDL_SCANCODE_KP_1:
        return 35;  // End
      case SDL_SCANCODE_KP_2:
        return 40;  // Down
      case SDL_SCANCODE_KP_3:
        return 34;  // Page Down
      case SDL_SCANCODE_KP_4:
        return 37;  // Left
      case SDL_SCANCODE_KP_5:
        return 12;  // Clear
      case SDL_SCANCODE_KP_6:
        return 39;  // Right
      case SDL_SCANCODE_KP_7:
        return 36;  // Home
      case SDL_SCANCODE_KP_8:
        return 38;  // Up
      case SDL_SCANCODE_KP_9:
        return 33;  // Page Up
      case SDL_SCANCODE_KP_PERIOD:
        return 46;  // Delete
      default:
        break;
    }
  }
  return VirtualKeyOfScancode(scancode);
}

void TrackPointerWindow(std::uint32_t targetWindowId, int x, int y, TObject* sender) {
  Track(targetWindowId, x, y, sender, false, 0, 0);
}

std::uint32_t TrackedPointerWindow() { return gTrackedWindow; }

void ForgetPointerWindow(std::uint32_t windowId) {
  if (windowId != 0 && windowId == gTrackedWindow) {
    gTrackedWindow = 0;
    gTrackedSender = nullptr;
  }
}

void TranslateWindowMessage(const SDL_Event& event, TObject* sender) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      TranslateWindowEvent(event.window, sender);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      TranslateKey(event.key, sender);
      break;
    case SDL_TEXTINPUT:
      TranslateText(event.text, sender);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (int button = ButtonNumber(event.button.button)) {
        CaptureMouse(true);
        Post(MouseDown, sender, button, ModifierMask, event.button.x, event.button.y);
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (int button = ButtonNumber(event.button.button)) {
        CaptureMouse(false);
        Post(MouseUp, sender, button, ModifierMask, event.button.x, event.button.y);
      }
      break;
    case SDL_MOUSEMOTION:
      TranslateMotion(event.motion, sender);
      break;
    case SDL_MOUSEWHEEL:
      TranslateWheel(event.wheel, sender);
      break;
    default:
      break;  // everything else produces nothing
  }
}

}  // namespace cvx
