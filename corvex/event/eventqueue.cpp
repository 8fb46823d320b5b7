#include "corvex/event/eventqueue.h"

#include <unordered_map>

#include "corvex/runtime/array.h"
#include "corvex/system/system.h"

namespace cvx {

namespace {

Array<Ref<TEvent>> gRing;
// Both counters only grow; put - get is the number queued (0 to 256).
unsigned gPut = 0;
unsigned gGet = 0;
Ref<TEvent> gTakenEvent;
Ref<TEvent> gEmptyEvent;

constexpr int kQueueHookPriority = -10000;

bool CoalescesById(int id) { return id == TimerTick || id == GadgetAction || id == WindowMove || id == WindowSize; }

Ref<TObject> QueueHook(int, TObject* data, TObject*) {
  TEvent* event = As<TEvent>(data);
  if (!event) return Ref<TObject>();
  QueueEvent(event, CoalescesById(event->id) ? 1 : 0);
  return event;
}

unsigned Queued() { return gPut - gGet; }

Ref<TEvent>& Slot(unsigned counter) { return (*gRing)[static_cast<int>(counter % kEventQueueSize)]; }

// Handles: given on first request, kept for ever, and the object retained
// from then on (the table is never emptied).
struct HandleTable {
  std::unordered_map<TObject*, int> byObject;
  Array<Ref<TObject>> objects;  // index = handle
  int count = 0;
};
HandleTable& Handles() {
  static HandleTable* table = new HandleTable();
  return *table;
}

}  // namespace

void InitEventQueue() {
  static bool done = false;
  if (done) return;
  done = true;
  InitEvents();
  InitSystem();
  gRing = NewArray<Ref<TEvent>>(kEventQueueSize);
  gPut = gGet = 0;
  AttachHook(EventDispatchHook, QueueHook, nullptr, kQueueHookPriority);
  gEmptyEvent = TEvent::Make(0, nullptr, 0, 0, 0, 0, nullptr);
  gTakenEvent = gEmptyEvent;
}

void QueueEvent(TEvent* event, int coalesce) {
  InitEventQueue();
  if (!event) return;
  if (coalesce) {
    for (unsigned i = gGet; i != gPut; ++i) {
      Ref<TEvent>& queued = Slot(i);
      if (queued->id == event->id && queued->sender.Get() == event->sender.Get()) {
        // The queued twin keeps its place and takes over the newest values.
        queued->data = event->data;
        queued->mods = event->mods;
        queued->x = event->x;
        queued->y = event->y;
        queued->extra = event->extra;
        return;
      }
    }
  }
  if (Queued() >= static_cast<unsigned>(kEventQueueSize)) return;  // full: dropped silently
  Slot(gPut) = event;
  ++gPut;
}

Ref<TEvent> PeekQueuedEvent() {
  InitEventQueue();
  if (Queued() == 0) PumpSystem();
  if (Queued() == 0) return Ref<TEvent>();
  return Slot(gGet);
}

namespace {
int TakeOldest() {
  if (Queued() == 0) {
    gTakenEvent = gEmptyEvent;
    return 0;
  }
  // The slot keeps its reference until it is reused.
  gTakenEvent = Slot(gGet);
  ++gGet;
  return gTakenEvent->id;
}
}  // namespace

int TakeEvent() {
  InitEventQueue();
  if (Queued() == 0) PumpSystem();
  return TakeOldest();
}

int AwaitEvent() {
  InitEventQueue();
  // Inside a pump nothing new can arrive, so waiting would never end.
  while (Queued() == 0 && !PumpIsBusy()) PumpSystemWait();
  return TakeOldest();
}

int QueuedEventCount() {
  InitEventQueue();
  return static_cast<int>(Queued());
}

void ClearEventQueue() {
  InitEventQueue();
  gGet = gPut;
}

Ref<TEvent> TakenEvent() {
  InitEventQueue();
  return gTakenEvent;
}
int TakenEventId() { return TakenEvent()->id; }
int TakenEventData() { return TakenEvent()->data; }
int TakenEventMods() { return TakenEvent()->mods; }
int TakenEventX() { return TakenEvent()->x; }
int TakenEventY() { return TakenEvent()->y; }
Ref<TObject> TakenEventExtra() { return TakenEvent()->extra; }
String TakenEventText() { return String::FromObject(TakenEvent()->extra.Get()); }
Ref<TObject> TakenEventSender() { return TakenEvent()->sender; }
int TakenEventSenderHandle() { return ObjectHandle(TakenEvent()->sender.Get()); }

int ObjectHandle(TObject* object) {
  if (!object) return 0;
  HandleTable& table = Handles();
  auto found = table.byObject.find(object);
  if (found != table.byObject.end()) return found->second;
  int handle = ++table.count;
  if (!table.objects || handle >= table.objects->Length()) {
    Array<Ref<TObject>> grown = NewArray<Ref<TObject>>(table.objects ? table.objects->Length() * 2 : 64);
    if (table.objects)
      for (int i = 0; i < table.objects->Length(); ++i) (*grown)[i] = (*table.objects)[i];
    table.objects = grown;
  }
  (*table.objects)[handle] = object;
  table.byObject.emplace(object, handle);
  return handle;
}

Ref<TObject> HandleObject(int handle) {
  HandleTable& table = Handles();
  if (handle <= 0 || handle > table.count) return Ref<TObject>();
  return (*table.objects)[handle];
}

}  // namespace cvx
