// The desktop's services: modal message boxes captioned with the application
// title, and handing a URL to the desktop's browser.
//
// The SDL backend is corvex/platform/sdl/sdlmessagebox.cpp.
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"

namespace cvx {

// A box with an OK button; serious != 0 shows a warning. A box that cannot be
// shown is logged as a warning. The window that had the focus gets it back.
void PlatformAlertBox(const String& text, int serious);
// OK / Cancel: 1 OK, 0 Cancel (also when closed or not shown).
int PlatformConfirmBox(const String& text, int serious);
// Yes / No / Cancel: 1 Yes, 0 No, -1 Cancel (also when closed or not shown).
int PlatformProceedBox(const String& text, int serious);

// The results of the two asking boxes for a button id (-1 when the box was
// closed or could not be shown).
int ConfirmResultOf(int buttonId);
int ProceedResultOf(int buttonId);

// Opens the URL with the desktop's handler; failures are not reported.
void PlatformOpenURL(const String& url);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
