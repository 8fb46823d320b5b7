/// @file
/// Hooks: numbered chains of callback functions. A hook id is reserved once;
/// functions are attached to it with a priority; running the hook passes a data
/// object through every attached function in descending priority order, each
/// one receiving what the previous one returned.
///
///   int id = ReserveHookId();
///   AttachHook(id, MyHook, nullptr, 0);
///   Ref<TObject> result = CallHooks(id, data);
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"

namespace cvx {

/// A hook function gets the hook id, the data object and the context given at
/// attachment, and returns the data the next function (and finally the caller
/// of CallHooks) receives; normally that is the data it was given.
using HookFunction = Ref<TObject> (*)(int id, TObject* data, TObject* context);

/// Number of hook ids: 0 to 255.
inline constexpr int kHookTableSize = 256;

/// One link of a hook chain.
class THook final : public TObject {
 public:
  THook();

  Ref<THook> next;        ///< next hook of the same chain, null at the end
  int priority = 0;       ///< higher runs earlier
  HookFunction callback;  ///< a new hook's callback raises the uninitialised-function error
  Ref<TObject> context;   ///< handed back to the callback on every call
};

/// Runs once (after the runtime): makes the empty 256-entry hook table.
void InitHooks();

/// The next free hook id, starting at 0. The 257th request raises "Too many
/// hook ids", and so does every later one.
int ReserveHookId();

/// Links a new hook into chain id after every hook whose priority is greater
/// than or equal to priority. The same function may be attached several times.
void AttachHook(int id, HookFunction callback, TObject* context, int priority);

/// Runs chain id from its head: data = callback(id, data, context) for each
/// hook, and returns the final data (data itself for an empty chain). A
/// callback may detach itself; an exception leaves at once.
Ref<TObject> CallHooks(int id, TObject* data);

/// Unlinks the first hook of chain id whose callback is this function (the
/// context is not compared); nothing when there is none.
void DetachHook(int id, HookFunction callback);

/// The head of chain id (null when empty), for inspection.
Ref<THook> HookChain(int id);

// Hook ids outside 0 to 255 raise "Attempt to index array element beyond
// array length" in every function above.

}  // namespace cvx

#include "corvex/runtime/api_end.h"
