/// @file
/// Polled input: the keyboard, mouse and application events of the dispatch
/// chain turned into state a frame loop can query at any moment: held keys and
/// buttons, presses since the last query, the pointer and wheel, typed
/// characters, and whether the application is deactivated or asked to close.
///
/// Every query first pumps the system driver unless AutoPumpInput is 0, so a
/// loop that only calls queries still sees fresh input. Inside an event hook
/// the pump does nothing and queries read the current state.
///
/// Key codes are the Windows virtual-key codes (27 Escape, 32 Space, 37 to 40
/// the arrows, 65 to 90 the letters, 160 to 165 left/right Shift, Control,
/// Alt); buttons are 1 left, 2 right, 3 middle. Codes outside 0 to 255 and
/// buttons outside 0 to 3 read as 0 and are otherwise ignored.
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"

namespace cvx {

/// Key codes tracked: 0 to 255.
inline constexpr int kInputKeyCount = 256;
/// Buttons tracked: 1 to 3 (0 unused).
inline constexpr int kInputButtonCount = 4;
/// Typed characters kept until read; while it is full, new ones are dropped.
inline constexpr int kTypedCharRingSize = 256;

/// Runs once, after the runtime, the events and the system driver.
void InitInput();

/// When non-zero (the start value) every query pumps first. Programs may set
/// it to 0 to do their own pumping; the framework never writes it.
extern int AutoPumpInput;

/// Attaches the input hook (priority 0) taking events of sender only, or of
/// every sender for nullptr; resets keys and pointer first. Nothing when
/// already started.
void StartInputPolling(TObject* sender);
/// Detaches the hook and resets keys, pointer and the sender filter.
void StopInputPolling();
/// 1 while the input hook is attached.
int InputPollingStarted();

/// The key's press count, which is then set to 0.
int KeyPressCount(int key);
/// 1 while the key is held.
int KeyIsDown(int key);
/// The oldest typed character (a UTF-16 unit), removed; 0 when none.
int NextTypedChar();
/// Always pumps, then forgets every key state, press count and typed character.
void ResetKeys();
/// The same as ResetKeys.
inline void FlushKeys() { ResetKeys(); }

/// @{
/// The pointer position in the client coordinates of the window it was last
/// seen in.
int PointerX();
int PointerY();
/// @}
int PointerWheel();  ///< accumulated wheel steps
/// The button's press count, which is then set to 0.
int ButtonPressCount(int button);
/// 1 while the button is held.
int ButtonIsDown(int button);
/// Always pumps, then clears button states, press counts and the wheel (x and
/// y stay).
void ResetPointer();
/// The same as ResetPointer.
inline void FlushPointer() { ResetPointer(); }

/// Waits for a key press (after ResetKeys) and returns the lowest pressed code.
int WaitAnyKey();
/// Waits for a typed character (after ResetKeys) and returns it.
int WaitTypedChar();
/// Waits for a button press (after ResetPointer) and returns the lowest pressed button.
int WaitAnyButton();
// The three waits return 0 at once when called inside a pump, where no new
// input can arrive.

/// 1 between AppSuspend and AppResume.
int AppIsSuspended();
/// 1 once AppTerminate has arrived; cleared by reading it.
int AppQuitRequested();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
