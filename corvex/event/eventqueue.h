/// @file
/// The event queue: a ring of up to 256 dispatched events not yet taken,
/// filled by a hook of priority -10000 on EventDispatchHook, from which a
/// program may take events one at a time instead of (or as well as) attaching
/// hooks of its own.
///
/// It is a module of its own (corvex_eventqueue) because it pumps the system
/// driver, which in turn dispatches events.
#pragma once

#include "corvex/event/event.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The most events the queue holds; while it is full, new events are dropped.
inline constexpr int kEventQueueSize = 256;

/// Runs once, after the hooks, events and the system driver: the ring, the
/// queue hook and the empty event (the first TakenEvent).
void InitEventQueue();

/// Puts an event into the ring. With coalesce non-zero, a queued event of the
/// same id and sender takes over the new event's data, mods, x, y and extra
/// instead. A full ring drops the new event.
void QueueEvent(TEvent* event, int coalesce);

/// The oldest queued event, without removing it; pumps once when the ring is
/// empty; null when still empty.
Ref<TEvent> PeekQueuedEvent();
/// Takes the oldest queued event into TakenEvent and returns its id; pumps
/// once when the ring is empty; 0 (TakenEvent = the empty event) when none.
int TakeEvent();
/// Waits (PumpSystemWait) while the ring is empty, then as TakeEvent. Called
/// from inside a pump, where nothing new can arrive, it does not wait.
int AwaitEvent();

/// Number of events in the ring (0 to 256).
int QueuedEventCount();
/// Drops every queued event (the ring is emptied, TakenEvent stays).
void ClearEventQueue();

/// The event most recently taken, and its fields.
Ref<TEvent> TakenEvent();
/// @{
/// The fields of the event most recently taken (0 / null when none was taken).
int TakenEventId();
int TakenEventData();
int TakenEventMods();
int TakenEventX();
int TakenEventY();
Ref<TObject> TakenEventExtra();
/// @}
String TakenEventText();  ///< the extra if it is a string, else ""
/// The sender of the event most recently taken, or null.
Ref<TObject> TakenEventSender();
/// The runtime handle of that sender (ObjectHandle), 0 for none.
int TakenEventSenderHandle();

/// The runtime's integer handle of an object: 0 for null, otherwise 1, 2, 3 ...
/// given on first request and kept; the object is retained from then on.
int ObjectHandle(TObject* object);
/// The object of a handle, or null.
Ref<TObject> HandleObject(int handle);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
