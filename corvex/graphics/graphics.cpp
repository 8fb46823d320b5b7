// Module state of the graphics front: current driver, mode cache, current and
// opened graphics, software frame pacing and the display sequence number.
#include "corvex/graphics/graphics.h"

#include <cstdint>
#include <cstdlib>

#include "corvex/event/event.h"
#include "corvex/event/hook.h"
#include "corvex/input/input.h"
#include "corvex/platform/video.h"
#include "corvex/runtime/shutdown.h"
#include "corvex/runtime/startup.h"
#include "corvex/system/system.h"

namespace cvx {

namespace {

Ref<TDisplayDriver> currentDriver;
int defaultFlags = 0;
GraphicsModeArray modeCache;  // null or empty until the first query

Ref<TGraphics> currentGraphics;
int currentWidth = 0, currentHeight = 0, currentDepth = 0, currentHertz = 0, currentFlags = 0;
Ref<TGraphics> openedGraphics;

// Software pacing of the opened display. The accumulator is the next frame's
// target time multiplied by the refresh rate, so that 1000 / hertz ms per
// frame is carried without rounding drift. It is 64 bits wide: at 60 Hz a
// 32-bit one would overflow after about ten hours of frames.
bool softwareSync = false;
std::int64_t syncAccumulator = 0;
std::uint32_t syncStart = 0;
int syncHertz = 0;

int sequence = 1;
bool exitRegistered = false;

void ClearCurrentSettings() {
  currentGraphics = nullptr;
  currentWidth = currentHeight = currentDepth = currentHertz = currentFlags = 0;
}

void AdvanceSequence() {
  ++sequence;
  if (sequence == 0) sequence = 1;
}

// Leaves the old driver's rendering target when another driver takes over.
void SwitchDriver(TDisplayDriver* driver) {
  if (currentDriver && currentGraphics) currentDriver->MakeCurrent(nullptr);
  modeCache = nullptr;
  currentDriver = driver;
}

GraphicsModeArray CachedModes() {
  if (!modeCache || modeCache->Length() == 0) modeCache = currentDriver->ListModes();
  if (!modeCache) modeCache = NewArray<Ref<TGraphicsMode>>(0);
  return modeCache;
}

// Milliseconds since t on the wrapping 32-bit clock.
std::int64_t MillisSince(std::uint32_t t) { return static_cast<std::uint32_t>(Millis()) - t; }

// Hardware retrace measurement: three presents in a row that each take
// 1000 / hertz ms (within 1 ms) within one second mean the driver's vertical
// sync can be trusted.
//
// A driver that says it cannot wait for the retrace (the platform refused
// swap control) and whose presents come back at once will not start pacing
// later in the second, so the measurement ends there instead of presenting
// for a whole second of start-up. A few presents in a row are timed first:
// a swap chain that syncs all the same returns its first presents at once
// while its buffers fill.
constexpr int kImmediatePresentsWithoutWaiting = 8;

bool RetraceIsReliable(int hertz) {
  std::uint32_t deadline = static_cast<std::uint32_t>(Millis()) + 1000u;
  int good = 0;
  int immediate = 0;
  while (static_cast<std::int32_t>(deadline - static_cast<std::uint32_t>(Millis())) > 0) {
    std::uint32_t t0 = static_cast<std::uint32_t>(Millis());
    currentDriver->Present(1);
    const std::int64_t took = MillisSince(t0);
    std::int64_t dt = took - 1000 / hertz;
    if (dt >= -1 && dt <= 1) {
      if (++good == 3) return true;
    } else {
      good = 0;
    }
    if (took * 2 < 1000 / hertz && !currentDriver->CanWaitForRetrace()) {
      if (++immediate == kImmediatePresentsWithoutWaiting) return false;
    } else {
      immediate = 0;
    }
  }
  return false;
}

void ShutGraphicsAtExit() {
  try {
    ShutGraphics();
  } catch (...) {
    // The program is ending; a failing driver must not turn that into a crash.
  }
}

}  // namespace

int FlipHook = -1;

void InitGraphics() {
  static bool done = false;
  if (done) return;
  done = true;
  InitRuntimeErrors();
  InitHooks();
  InitEvents();
  InitSystem();
  InitInput();
  // Windows and GL contexts need the platform's video. Without a display it
  // fails; the drivers then say why when asked for graphics.
  StartVideo();
  FlipHook = ReserveHookId();
  AddShutdownStep("restore the display mode", ShutGraphicsAtExit);
}

int GraphicsDisplayAvailable() {
  InitGraphics();
  return VideoRunning() ? 1 : 0;
}

void SelectGraphicsDriver(TDisplayDriver* driver, int flags) {
  if (driver != currentDriver.Get()) SwitchDriver(driver);
  defaultFlags = flags;
  ClearCurrentSettings();
}

Ref<TDisplayDriver> CurrentGraphicsDriver() { return currentDriver; }
int DefaultGraphicsFlags() { return defaultFlags; }

GraphicsModeArray ListGraphicsModes() {
  GraphicsModeArray cached = CachedModes();
  GraphicsModeArray copy = NewArray<Ref<TGraphicsMode>>(cached->Length());
  for (std::int32_t i = 0; i < cached->Length(); ++i) {
    TGraphicsMode* m = (*cached)[i].Get();
    if (m) (*copy)[i] = new TGraphicsMode(m->width, m->height, m->depth, m->hertz);
  }
  return copy;
}

int GraphicsModeCount() { return CachedModes()->Length(); }

void GraphicsModeAt(int index, int& width, int& height, int& depth, int& hertz) {
  GraphicsModeArray cached = CachedModes();
  Ref<TGraphicsMode> mode = (*cached)[index];
  width = mode->width;
  height = mode->height;
  depth = mode->depth;
  hertz = mode->hertz;
}

int HasGraphicsMode(int width, int height, int depth, int hertz) {
  GraphicsModeArray cached = CachedModes();
  for (const Ref<TGraphicsMode>& m : *cached) {
    if (!m) continue;
    if ((width == 0 || m->width == width) && (height == 0 || m->height == height) &&
        (depth == 0 || m->depth == depth) && (hertz == 0 || m->hertz == hertz))
      return 1;
  }
  return 0;
}

Ref<TGraphics> NewGraphics(int width, int height, int depth, int hertz, int flags) {
  return currentDriver->NewGraphics(width, height, depth, hertz, flags | defaultFlags);
}

Ref<TGraphics> BindGraphics(void* windowHandle, int flags) {
  return currentDriver->BindWindow(windowHandle, flags | defaultFlags);
}

void DisposeGraphics(TGraphics* graphics) {
  if (!graphics) return;
  Ref<TGraphics> keep(graphics);
  if (openedGraphics.Get() == graphics) openedGraphics = nullptr;
  if (currentGraphics.Get() == graphics) MakeGraphicsCurrent(nullptr);
  graphics->ReleaseGraphics();
}

void MakeGraphicsCurrent(TGraphics* graphics) {
  if (!graphics) {
    if (currentDriver && currentGraphics) currentDriver->MakeCurrent(nullptr);
    ClearCurrentSettings();
    return;
  }
  Ref<TGraphics> keep(graphics);
  Ref<TDisplayDriver> driver = graphics->OwnerDriver();
  if (driver.Get() != currentDriver.Get()) SwitchDriver(driver.Get());
  graphics->QuerySettings(currentWidth, currentHeight, currentDepth, currentHertz, currentFlags);
  driver->MakeCurrent(graphics);
  currentGraphics = graphics;
}

Ref<TGraphics> CurrentGraphics() { return currentGraphics; }
int CurrentGraphicsWidth() { return currentWidth; }
int CurrentGraphicsHeight() { return currentHeight; }
int CurrentGraphicsDepth() { return currentDepth; }
int CurrentGraphicsHertz() { return currentHertz; }
int CurrentGraphicsFlags() { return currentFlags; }

Ref<TGraphics> OpenGraphics(int width, int height, int depth, int hertz, int flags) {
  ShutGraphics();
  Ref<TGraphics> graphics = NewGraphics(width, height, depth, hertz, flags | defaultFlags);
  if (!graphics) return nullptr;
  AdvanceSequence();
  MakeGraphicsCurrent(graphics.Get());

  softwareSync = hertz != 0;
  if (hertz != 0 && depth != 0 && RetraceIsReliable(hertz)) softwareSync = false;
  syncHertz = hertz;
  syncStart = static_cast<std::uint32_t>(Millis());

  openedGraphics = graphics;
  StartInputPolling(nullptr);
  WarpPointer(width / 2, height / 2);
  if (!exitRegistered) {
    exitRegistered = true;
    std::atexit(ShutGraphicsAtExit);
  }
  return graphics;
}

void ShutGraphics() {
  if (!openedGraphics) return;
  AdvanceSequence();
  StopInputPolling();
  DisposeGraphics(openedGraphics.Get());
}

Ref<TGraphics> OpenedGraphics() { return openedGraphics; }

void FlipFrame(int sync) {
  ExitIfStopRequested();  // a poll of the main loop
  CallHooks(FlipHook, nullptr);
  if (sync != -1) {
    currentDriver->Present(sync);
    return;
  }
  if (!currentGraphics || currentGraphics.Get() != openedGraphics.Get() || !softwareSync) {
    currentDriver->Present(1);
    return;
  }
  // The frame is rendered before the wait, not after it: what follows the
  // wait is then only the swap, and the frame shows as close to its due time
  // as the swap allows, however long its drawing took to render.
  currentDriver->FinishFrame();
  // Frame n is due at start + n * 1000 / hertz. A late frame, or a target
  // more than a second away, restarts the schedule from now.
  std::int64_t elapsed = MillisSince(syncStart);
  syncAccumulator += 1000;
  std::int64_t wait = syncAccumulator / syncHertz - elapsed;
  if (wait > 0 && wait < 1000) {
    // To the frame's due millisecond itself: the same wait, without the
    // fraction of the current millisecond a relative pause would add or lose.
    PauseUntil(static_cast<int>(syncStart + static_cast<std::uint32_t>(syncAccumulator / syncHertz)));
  } else {
    syncAccumulator = elapsed * syncHertz;
  }
  currentDriver->Present(0);
}

int GraphicsSequence() { return sequence; }
void SetGraphicsSequence(int value) { sequence = value == 0 ? 1 : value; }
bool SoftwareSyncEnabled() { return softwareSync; }

}  // namespace cvx
