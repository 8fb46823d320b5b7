// The platform-neutral half of the system driver: the abstract host, the
// virtual-clock host, the current host and the module functions forwarding
// to it, the pump-busy guard, and the date and time texts.
#include "corvex/system/system.h"

#include <cstdint>
#include <ctime>

#include "corvex/runtime/shutdown.h"

namespace cvx {

namespace {

Ref<THostSystem> gHost;
int gPumpBusy = 0;

// Clears the busy flag however the pump ends (an event hook may throw).
class PumpBusyScope {
 public:
  PumpBusyScope() { gPumpBusy = 1; }
  ~PumpBusyScope() { gPumpBusy = 0; }
  PumpBusyScope(const PumpBusyScope&) = delete;
  PumpBusyScope& operator=(const PumpBusyScope&) = delete;
};

THostSystem* Host() {
  InitSystem();
  return gHost.operator->();
}

String FormatNow(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return String();
  char buffer[256];
  std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return String(std::string_view(buffer, length));
}

}  // namespace

// ---- THostSystem: every operation is abstract here ----------------------------

void THostSystem::Pump() { ThrowAbstractMethodError(); }
void THostSystem::PumpWait() { ThrowAbstractMethodError(); }
int THostSystem::Millis() { ThrowAbstractMethodError(); }
void THostSystem::Pause(int) { ThrowAbstractMethodError(); }
void THostSystem::PauseUntil(int millis) {
  const auto ahead = static_cast<std::int32_t>(static_cast<std::uint32_t>(millis) - static_cast<std::uint32_t>(Millis()));
  if (ahead > 0) Pause(ahead);
}
void THostSystem::WarpPointer(int, int) { ThrowAbstractMethodError(); }
void THostSystem::SetPointerVisible(int) { ThrowAbstractMethodError(); }
void THostSystem::AlertBox(const String&, int) { ThrowAbstractMethodError(); }
int THostSystem::ConfirmBox(const String&, int) { ThrowAbstractMethodError(); }
int THostSystem::ProceedBox(const String&, int) { ThrowAbstractMethodError(); }
String THostSystem::ChooseFile(const String&, const String&, int, const String&) { ThrowAbstractMethodError(); }
String THostSystem::ChooseFolder(const String&, const String&) { ThrowAbstractMethodError(); }
void THostSystem::LaunchURL(const String&) { ThrowAbstractMethodError(); }

// ---- TVirtualClockHost ----------------------------------------------------------

TVirtualClockHost::TVirtualClockHost(THostSystem* inner, int startMillis) : inner_(inner), now_(startMillis) {}

void TVirtualClockHost::Pump() {
  ++pumpCalls_;
  if (inner_) inner_->Pump();
}
void TVirtualClockHost::PumpWait() {
  ++pumpCalls_;
  // Waiting on the inner host could block for ever on a machine where no
  // event comes; a virtual clock only pumps what is there.
  if (inner_) inner_->Pump();
}
int TVirtualClockHost::Millis() { return now_; }
void TVirtualClockHost::Pause(int ms) {
  ++pauseCalls_;
  lastPause_ = ms;
  if (ms > 0) {
    pausedMillis_ += ms;
    Advance(ms);
  }
}
void TVirtualClockHost::WarpPointer(int x, int y) {
  if (inner_) inner_->WarpPointer(x, y);
}
void TVirtualClockHost::SetPointerVisible(int visible) {
  if (inner_) inner_->SetPointerVisible(visible);
}
void TVirtualClockHost::AlertBox(const String& text, int serious) {
  if (inner_) inner_->AlertBox(text, serious);
}
int TVirtualClockHost::ConfirmBox(const String& text, int serious) {
  return inner_ ? inner_->ConfirmBox(text, serious) : 0;
}
int TVirtualClockHost::ProceedBox(const String& text, int serious) {
  return inner_ ? inner_->ProceedBox(text, serious) : -1;
}
String TVirtualClockHost::ChooseFile(const String& title, const String& filter, int save, const String& initialPath) {
  return inner_ ? inner_->ChooseFile(title, filter, save, initialPath) : String();
}
String TVirtualClockHost::ChooseFolder(const String& title, const String& initialPath) {
  return inner_ ? inner_->ChooseFolder(title, initialPath) : String();
}
void TVirtualClockHost::LaunchURL(const String& url) {
  if (inner_) inner_->LaunchURL(url);
}

// ---- Current host and module functions ------------------------------------------

Ref<THostSystem> CurrentHostSystem() {
  InitSystem();
  return gHost;
}

Ref<THostSystem> SetHostSystem(THostSystem* host) {
  // Initialising first means a host installed by a test is not replaced by a
  // later InitSystem.
  InitSystem();
  Ref<THostSystem> previous = gHost;
  if (host) gHost = host;
  return previous;
}

namespace detail {
// Called by InitSystem with the platform's host.
void InstallInitialHost(THostSystem* host) { gHost = host; }
}  // namespace detail

void PumpSystem() {
  ExitIfStopRequested();  // a poll of the main loop
  THostSystem* host = Host();
  if (gPumpBusy) return;
  PumpBusyScope busy;
  Ref<THostSystem> keep = host;  // the host may be replaced by a hook while it pumps
  keep->Pump();
}

void PumpSystemWait() {
  ExitIfStopRequested();
  THostSystem* host = Host();
  if (gPumpBusy) return;
  PumpBusyScope busy;
  Ref<THostSystem> keep = host;
  keep->PumpWait();
}

int PumpIsBusy() { return gPumpBusy; }

int Millis() { return Host()->Millis(); }
void Pause(int ms) { Host()->Pause(ms); }
void PauseUntil(int millis) { Host()->PauseUntil(millis); }
void WarpPointer(int x, int y) { Host()->WarpPointer(x, y); }
void ShowPointer() { Host()->SetPointerVisible(1); }
void HidePointer() { Host()->SetPointerVisible(0); }
void AlertBox(const String& text, int serious) { Host()->AlertBox(text, serious); }
int ConfirmBox(const String& text, int serious) { return Host()->ConfirmBox(text, serious); }
int ProceedBox(const String& text, int serious) { return Host()->ProceedBox(text, serious); }
String ChooseFile(const String& title, const String& filter, int save, const String& initialPath) {
  return Host()->ChooseFile(title, filter, save, initialPath);
}
String ChooseFolder(const String& title, const String& initialPath) { return Host()->ChooseFolder(title, initialPath); }
void LaunchURL(const String& url) { Host()->LaunchURL(url); }

String DateString() { return FormatNow("%d %b %Y"); }
String TimeString() { return FormatNow("%H:%M:%S"); }

void PostSystemEvent(int id, TObject* sender, int data, int mods, int x, int y, TObject* extra) {
  TEvent::Make(id, sender, data, mods, x, y, extra)->Dispatch();
}

}  // namespace cvx
