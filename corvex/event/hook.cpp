#include "corvex/event/hook.h"

#include "corvex/runtime/array.h"
#include "corvex/runtime/string.h"

namespace cvx {

namespace {

Array<Ref<THook>> gHookTable;
int gLastHookId = -1;

Ref<TObject> UninitialisedHook(int, TObject*, TObject*) { ThrowUninitializedFunctionError(); }

// The head slot of chain id; the table's own index check rejects ids outside 0..255.
Ref<THook>& ChainHead(int id) {
  InitHooks();
  return (*gHookTable)[id];
}

}  // namespace

THook::THook() : callback(UninitialisedHook) {}

void InitHooks() {
  static bool done = false;
  if (done) return;
  done = true;
  gHookTable = NewArray<Ref<THook>>(kHookTableSize);
  gLastHookId = -1;
}

int ReserveHookId() {
  InitHooks();
  // The counter advances even when it fails, so every later request fails too.
  ++gLastHookId;
  if (gLastHookId > kHookTableSize - 1) Throw("Too many hook ids"_s);
  return gLastHookId;
}

void AttachHook(int id, HookFunction callback, TObject* context, int priority) {
  Ref<THook>& head = ChainHead(id);
  Ref<THook> hook = new THook();
  hook->priority = priority;
  hook->callback = callback ? callback : UninitialisedHook;
  hook->context = context;

  // Keep the last hook whose priority is >= the new one: equal priorities run
  // in the order they were attached.
  Ref<THook> kept;
  for (Ref<THook> walk = head; walk && walk->priority >= priority; walk = walk->next) kept = walk;
  if (!kept) {
    hook->next = head;
    head = hook;
  } else {
    hook->next = kept->next;
    kept->next = hook;
  }
}

Ref<TObject> CallHooks(int id, TObject* data) {
  Ref<TObject> current = data;
  Ref<THook> hook = ChainHead(id);
  while (hook) {
    current = hook->callback(id, current.Get(), hook->context.Get());
    // Read after the callback: a callback that detached itself still has its
    // next reference, so the rest of the chain runs.
    hook = hook->next;
  }
  return current;
}

void DetachHook(int id, HookFunction callback) {
  Ref<THook>& head = ChainHead(id);
  Ref<THook> previous;
  for (Ref<THook> walk = head; walk; walk = walk->next) {
    if (walk->callback == callback) {
      // The unlinked hook keeps its own next, for a CallHooks standing on it.
      if (previous)
        previous->next = walk->next;
      else
        head = walk->next;
      return;
    }
    previous = walk;
  }
}

Ref<THook> HookChain(int id) { return ChainHead(id); }

}  // namespace cvx
