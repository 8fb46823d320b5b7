/// @file
/// The system driver: the one place where the framework talks to the host
/// about anything other than drawing. A current host system object carries the
/// twelve platform operations (message pump, clock, sleep, pointer, message
/// boxes, requesters, URL launching); every module function here forwards to it.
///
/// The SDL host (sdlhost.h) is the one concrete host. Tests install hosts of
/// their own with SetHostSystem, for example a TVirtualClockHost so that code
/// that paces itself with Millis and Pause runs on a clock the test drives.
#pragma once

#include "corvex/event/event.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// The host operations in slot order. Every one raises "Attempt to call
/// abstract method" in this base class.
class THostSystem : public TObject {
 public:
  /// Dispatches every pending platform event, without waiting.
  virtual void Pump();
  /// Waits until some platform event has arrived, then Pump.
  virtual void PumpWait();
  /// The millisecond clock (32-bit, wraps).
  virtual int Millis();
  /// Suspends the thread for ms milliseconds.
  virtual void Pause(int ms);
  /// Moves the pointer to a client position of the active window (screen
  /// coordinates without one).
  virtual void WarpPointer(int x, int y);
  /// Shows (visible != 0) or hides the mouse pointer.
  virtual void SetPointerVisible(int visible);
  /// Shows a message box with an OK button and waits for it; serious != 0 marks
  /// it as an error.
  virtual void AlertBox(const String& text, int serious);
  /// 1 OK, 0 Cancel.
  virtual int ConfirmBox(const String& text, int serious);
  /// 1 Yes, 0 No, -1 Cancel.
  virtual int ProceedBox(const String& text, int serious);
  /// The chosen path, or "" when cancelled. The filter is "Name:ext,ext;Name:ext"
  /// or a bare extension list ("bmp").
  virtual String ChooseFile(const String& title, const String& filter, int save, const String& initialPath);
  /// The chosen folder, or "" when cancelled.
  virtual String ChooseFolder(const String& title, const String& initialPath);
  /// Opens a URL (or a file) with the desktop's program for it.
  virtual void LaunchURL(const String& url);
  /// Suspends the thread until Millis() reads millis (on the wrapping clock;
  /// nothing when that is not ahead). Here it pauses for the difference;
  /// a host with a finer clock wakes at the millisecond's start instead of a
  /// fraction of a millisecond early or late, which frame pacing relies on.
  virtual void PauseUntil(int millis);
};

/// A host whose clock is virtual: Millis reads a counter the owner sets or
/// advances, and Pause advances it instead of sleeping. Everything else goes to
/// the inner host (the null object: pumping does nothing, boxes give their
/// cancel results, requesters "").
class TVirtualClockHost final : public THostSystem {
 public:
  /// A host over inner (may be null) whose clock starts at startMillis.
  explicit TVirtualClockHost(THostSystem* inner = nullptr, int startMillis = 0);

  void Pump() override;
  void PumpWait() override;
  int Millis() override;
  void Pause(int ms) override;
  void WarpPointer(int x, int y) override;
  void SetPointerVisible(int visible) override;
  void AlertBox(const String& text, int serious) override;
  int ConfirmBox(const String& text, int serious) override;
  int ProceedBox(const String& text, int serious) override;
  String ChooseFile(const String& title, const String& filter, int save, const String& initialPath) override;
  String ChooseFolder(const String& title, const String& initialPath) override;
  void LaunchURL(const String& url) override;

  /// Sets the clock.
  void SetMillis(int now) { now_ = now; }
  /// Moves the clock on by ms (wrapping like the real clock).
  void Advance(int ms) { now_ = static_cast<int>(static_cast<unsigned>(now_) + static_cast<unsigned>(ms)); }
  /// How often Pause was called.
  int PauseCalls() const { return pauseCalls_; }
  /// The sum of all positive pauses, in milliseconds.
  long long PausedMillis() const { return pausedMillis_; }  // sum of all positive pauses
  /// The argument of the last Pause (0 before the first).
  int LastPause() const { return lastPause_; }
  /// How often Pump and PumpWait were called.
  int PumpCalls() const { return pumpCalls_; }
  /// The inner host, or the null object.
  Ref<THostSystem> Inner() const { return inner_; }

 private:
  Ref<THostSystem> inner_;
  int now_;
  int pauseCalls_ = 0;
  long long pausedMillis_ = 0;
  int lastPause_ = 0;
  int pumpCalls_ = 0;
};

/// Runs once, after the runtime and the events: starts SDL's event and timer
/// subsystems (not video: that comes with the graphics module) and makes a
/// TSdlHostSystem the current host. Raises a runtime error when SDL cannot start.
void InitSystem();

/// The current host system.
Ref<THostSystem> CurrentHostSystem();
/// Makes host current (the null object is ignored) and returns the previous one.
Ref<THostSystem> SetHostSystem(THostSystem* host);

/// Pump / PumpWait of the current host, unless a pump is already running (a
/// pump started from inside an event hook or a window procedure does nothing).
void PumpSystem();
/// PumpWait of the current host, unless a pump is already running.
void PumpSystemWait();
/// 1 while PumpSystem or PumpSystemWait runs.
int PumpIsBusy();

/// @{
/// The operation of the same name of the current host (ShowPointer and
/// HidePointer are SetPointerVisible); without a host they raise the null object
/// error. Failures come back as the cancel results described at THostSystem.
int Millis();
void Pause(int ms);
/// Sleeps until Millis() reads millis (THostSystem::PauseUntil).
void PauseUntil(int millis);
void WarpPointer(int x, int y);
void ShowPointer();
void HidePointer();
void AlertBox(const String& text, int serious);
int ConfirmBox(const String& text, int serious);
int ProceedBox(const String& text, int serious);
String ChooseFile(const String& title, const String& filter, int save, const String& initialPath);
String ChooseFolder(const String& title, const String& initialPath);
void LaunchURL(const String& url);
/// @}

/// The current local date ("08 Dec 2026", strftime "%d %b %Y") and time
/// ("13:05:09", "%H:%M:%S").
String DateString();
/// The current local time ("13:05:09").
String TimeString();

/// The modifier mask (ModShift | ModControl | ModAlt | ModSystem) carried by
/// the events the window translation produces; rebuilt by RefreshModifiers.
extern int ModifierMask;

/// Makes an event and dispatches it at once.
void PostSystemEvent(int id, TObject* sender, int data, int mods, int x, int y, TObject* extra);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
