// Tick clocks: periodic timers measured on the platform's timer thread. That
// thread only posts a message carrying the clock's number; the system pump
// hands each such message, on the main thread, to the receiver given to
// InitTickClocks. Nothing else is touched on the timer thread.
//
// The interface names no platform type: the SDL backend is
// corvex/platform/sdl/sdltickclock.cpp.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"

namespace cvx {

// Receives one tick of the clock with this number, on the main thread.
using TickReceiver = void (*)(int clockNumber);

// Registers the message type of ticks with the pump and the receiver of
// ticks. Runs once (later calls change nothing and return true); the system
// driver must have started. False when the platform has no message type left.
bool InitTickClocks(TickReceiver receiver);

// The platform's message type of ticks, 0 before InitTickClocks.
std::uint32_t TickClockMessageType();

// Starts a clock posting clockNumber every periodMillis (positive) ms and
// returns its id, or 0 when the platform refuses it.
int StartTickClock(int periodMillis, int clockNumber);

// Stops a clock; nothing for id 0. Ticks already posted still arrive.
void StopTickClock(int id);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
