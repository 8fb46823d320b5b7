// The system driver's start-up and its host over the platform layer.
#include "corvex/system/platformhost.h"

#include <string>

#include "corvex/platform/clock.h"
#include "corvex/platform/messagebox.h"
#include "corvex/platform/pointer.h"
#include "corvex/platform/pump.h"

namespace cvx {

namespace detail {
void InstallInitialHost(THostSystem* host);
}

void InitSystem() {
  static bool done = false;
  if (done) return;
  InitEvents();
  std::string whyNot;
  if (!StartPlatformEvents(whyNot)) Throw("Unable to start the SDL event and timer subsystems: "_s + String(whyNot));
  done = true;
  detail::InstallInitialHost(new TPlatformHostSystem());
}

TPlatformHostSystem::TPlatformHostSystem() = default;

void TPlatformHostSystem::Pump() { PumpPlatformEvents(); }
void TPlatformHostSystem::PumpWait() { WaitPlatformEvents(); }
int TPlatformHostSystem::Millis() { return PlatformMillis(); }
void TPlatformHostSystem::Pause(int ms) { PlatformSleep(ms); }
void TPlatformHostSystem::PauseUntil(int millis) { PlatformSleepUntil(millis); }
void TPlatformHostSystem::WarpPointer(int x, int y) { PlatformWarpPointer(x, y); }
void TPlatformHostSystem::SetPointerVisible(int visible) { PlatformSetPointerVisible(visible); }
void TPlatformHostSystem::AlertBox(const String& text, int serious) { PlatformAlertBox(text, serious); }
int TPlatformHostSystem::ConfirmBox(const String& text, int serious) { return PlatformConfirmBox(text, serious); }
int TPlatformHostSystem::ProceedBox(const String& text, int serious) { return PlatformProceedBox(text, serious); }

String TPlatformHostSystem::ChooseFile(const String& title, const String& filter, int save, const String& initialPath) {
  return RunZenity(ZenityFileArguments(title, filter, save, initialPath));
}

String TPlatformHostSystem::ChooseFolder(const String& title, const String& initialPath) {
  return RunZenity(ZenityFolderArguments(title, initialPath));
}

void TPlatformHostSystem::LaunchURL(const String& url) { PlatformOpenURL(url); }

}  // namespace cvx
