// The host system over the platform layer (corvex/platform/): the pump, the
// clock, the pointer and the message boxes are the platform's; the file and
// folder requesters run zenity.
#pragma once

#include <string>
#include <vector>

#include "corvex/runtime/api_begin.h"
#include "corvex/system/system.h"

namespace cvx {

/// The host system of a program with a display: every call goes to the
/// platform layer's pump, clock, pointer, message boxes and requesters.
class TPlatformHostSystem final : public THostSystem {
 public:
  TPlatformHostSystem();

  void Pump() override;         // every pending platform message to its window or receiver
  void PumpWait() override;     // waits for a platform message, then as Pump
  int Millis() override;        // the system's monotonic clock in ms since it started
  void Pause(int ms) override;  // sleeps; nothing for ms <= 0
  void WarpPointer(int x, int y) override;
  void SetPointerVisible(int visible) override;
  void AlertBox(const String& text, int serious) override;
  int ConfirmBox(const String& text, int serious) override;
  int ProceedBox(const String& text, int serious) override;
  String ChooseFile(const String& title, const String& filter, int save, const String& initialPath) override;
  String ChooseFolder(const String& title, const String& initialPath) override;
  void LaunchURL(const String& url) override;
  void PauseUntil(int millis) override;  // sleeps to the start of that millisecond
};

// ---- Requesters -------------------------------------------------------------

// zenity's --file-filter arguments for a framework filter text:
// "Images:png,jpg;Text:txt" -> {"Images | *.png *.jpg", "Text | *.txt"},
// "bmp" -> {"Files | *.bmp"}, "" -> {}.
std::vector<std::string> ZenityFileFilters(const String& filter);
// The complete zenity argument list (without the program name) of a file or
// folder requester. An initial path holding a 0 byte names no file (zenity
// would read it only up to that byte): the requester then opens without one.
std::vector<std::string> ZenityFileArguments(const String& title, const String& filter, int save,
                                             const String& initialPath);
std::vector<std::string> ZenityFolderArguments(const String& title, const String& initialPath);
// Runs zenity (searched on PATH) with these arguments and returns its first
// output line when it exits with status 0, else "" (also when zenity is absent).
String RunZenity(const std::vector<std::string>& arguments);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
