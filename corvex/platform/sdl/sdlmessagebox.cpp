// Message boxes over SDL_ShowMessageBox, and URLs through SDL_OpenURL.
#include <SDL.h>

#include <string>

#include "corvex/platform/messagebox.h"
#include "corvex/platform/sdl/sdlevents.h"
#include "corvex/platform/video.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/startup.h"

namespace cvx {

namespace {

// Button ids of the message boxes.
constexpr int kButtonOk = 1;
constexpr int kButtonCancel = 2;
constexpr int kButtonYes = 3;
constexpr int kButtonNo = 4;

// Shows a modal box captioned with the application title and returns the
// chosen button id, -1 when it was closed or could not be shown. The window
// that had the focus gets it back afterwards.
int ShowBox(const String& text, int serious, const SDL_MessageBoxButtonData* buttons, int count) {
  SDL_Window* focused = VideoRunning() ? SDL_GetKeyboardFocus() : nullptr;
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

void PlatformAlertBox(const String& text, int serious) {
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kButtonOk, "OK"}};
  ShowBox(text, serious, buttons, 1);
}

int PlatformConfirmBox(const String& text, int serious) {
  const SDL_MessageBoxButtonData buttons[] = {{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kButtonOk, "OK"},
                                              {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kButtonCancel, "Cancel"}};
  return ConfirmResultOf(ShowBox(text, serious, buttons, 2));
}

int PlatformProceedBox(const String& text, int serious) {
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

void PlatformOpenURL(const String& url) {
  // Failures are not reported.
  SDL_OpenURL(url.ToUtf8().c_str());
}

}  // namespace cvx
