/// @file
/// The driver-neutral front of the display: the current graphics driver, the
/// current graphics object with a cache of its settings, the one opened
/// display an application works with, and the frame flip with software pacing.
///
/// A concrete driver derives from TDisplayDriver and makes TGraphics objects;
/// the OpenGL driver lives in corvex/glgraphics/, the 2D drawing drivers wrap it.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/serializable.h"
#include "corvex/runtime/string.h"

namespace cvx {

class TDisplayDriver;

// Graphics flags: a bit set passed to every creation, OR-ed with the default flags.
inline constexpr int FlagBackBuffer = 2;      ///< double-buffered
inline constexpr int FlagAlphaBuffer = 4;     ///< destination alpha channel
inline constexpr int FlagDepthBuffer = 8;     ///< depth buffer
inline constexpr int FlagStencilBuffer = 16;  ///< stencil buffer
inline constexpr int FlagAccumBuffer = 32;    ///< accumulation buffer

/// A display mode: size, colour depth and refresh rate.
class TGraphicsMode final : public TObject {
 public:
  TGraphicsMode() = default;
  /// A mode of w x h pixels, d bits per pixel, hz hertz.
  TGraphicsMode(std::int32_t w, std::int32_t h, std::int32_t d, std::int32_t hz)
      : width(w), height(h), depth(d), hertz(hz) {}

  String ToString() override;

  /// Width in pixels.
  std::int32_t width = 0;
  /// Height in pixels.
  std::int32_t height = 0;
  std::int32_t depth = 0;  ///< bits per pixel
  std::int32_t hertz = 0;  ///< refresh rate, 0 = not given
};

/// A list of display modes (ListModes, ListGraphicsModes).
using GraphicsModeArray = Array<Ref<TGraphicsMode>>;

/// A window or screen with a rendering context. Concrete drivers derive from it.
class TGraphics : public TSerializable {
 public:
  /// The driver object is also the data type of its graphics objects.
  Ref<TDataType> DataTypeOf() override;

  /// The driver that created this object.
  virtual Ref<TDisplayDriver> OwnerDriver() = 0;
  /// Current settings; an object drawing into a foreign window reports that
  /// window's client size at the time of the call.
  virtual void QuerySettings(int& width, int& height, int& depth, int& hertz, int& flags) = 0;
  /// Destroys the platform context and window; afterwards the object is dead
  /// and reports nothing. (Named apart from TObject::Release, which drops a
  /// reference count.)
  virtual void ReleaseGraphics() = 0;
};

/// An abstract graphics driver. It is also the data type of its graphics
/// objects: a graphics object is written as its width, height, depth and hertz
/// and read back by opening a display with them.
class TDisplayDriver : public TDataType {
 public:
  /// "CVX.Graphics.TGraphics"
  String TypeName() override;
  /// Reads width, height, depth, hertz (32-bit each) and returns OpenGraphics(w, h, d, hz, 0).
  Ref<TObject> ReadData(TStreamBase* stream) override;
  /// Writes the graphics object's width, height, depth, hertz as 32-bit integers.
  void WriteData(TObject* object, TStreamBase* stream) override;
  /// Does nothing.
  void AfterRead(TObject* object, TStreamBase* stream) override;

  /// The modes the driver can show full screen.
  virtual GraphicsModeArray ListModes() = 0;
  /// A graphics object drawing into an existing native window, or null.
  virtual Ref<TGraphics> BindWindow(void* windowHandle, int flags) = 0;
  /// A graphics object with its own window, or null. Depth 0 is windowed; any
  /// other depth is full screen at that colour depth.
  virtual Ref<TGraphics> NewGraphics(int width, int height, int depth, int hertz, int flags) = 0;
  /// Makes the graphics object (or nothing, for null) the target of rendering.
  virtual void MakeCurrent(TGraphics* graphics) = 0;
  /// Shows the back buffer; sync 0 = do not wait for the vertical retrace, non-zero = wait.
  virtual void Present(int sync) = 0;
  /// Completes the drawing of the frame so far without showing it. Software
  /// pacing calls it before it waits, so that what follows the wait is only
  /// the swap itself. Does nothing by default.
  virtual void FinishFrame() {}
  /// False when Present(1) cannot wait for the vertical retrace on this
  /// display (the platform refused swap control); true by default, also when
  /// the driver cannot tell.
  virtual bool CanWaitForRetrace() { return true; }
};

// ---- Module functions ------------------------------------------------------

/// Runs once: the runtime, events and hooks, the system driver, polled input,
/// SDL's video subsystem; reserves FlipHook.
void InitGraphics();

/// 1 when the platform's video could be started by InitGraphics (a display
/// server answered), else 0; runs InitGraphics first.
int GraphicsDisplayAvailable();

/// Makes driver current (forgetting the mode cache when it changes), stores the
/// default flags and forgets the current graphics (which is not closed).
void SelectGraphicsDriver(TDisplayDriver* driver, int defaultFlags);
/// The current driver, or null before one is selected.
Ref<TDisplayDriver> CurrentGraphicsDriver();
/// The flags OR-ed into every creation.
int DefaultGraphicsFlags();

/// A fresh copy of the cached mode list (filled from the driver when empty).
GraphicsModeArray ListGraphicsModes();
/// The number of cached modes; without a driver it raises the null object error.
int GraphicsModeCount();
/// Fields of mode index (0-based, below GraphicsModeCount).
void GraphicsModeAt(int index, int& width, int& height, int& depth, int& hertz);
/// 1 if a mode matches every non-zero argument, else 0.
int HasGraphicsMode(int width, int height, int depth, int hertz);

/// A graphics object with its own window from the current driver (flags OR-ed
/// with the default flags), or null when the driver cannot make it; without a
/// driver it raises the null object error.
Ref<TGraphics> NewGraphics(int width, int height, int depth, int hertz, int flags);
/// A graphics object drawing into an existing native window, or null.
Ref<TGraphics> BindGraphics(void* windowHandle, int flags);
/// Releases a graphics object (forgetting it as current or opened); null does
/// nothing.
void DisposeGraphics(TGraphics* graphics);
/// Makes a graphics object the target of drawing and records its settings
/// (null: nothing is current, the settings read 0).
void MakeGraphicsCurrent(TGraphics* graphics);

/// The current graphics object, or null.
Ref<TGraphics> CurrentGraphics();
/// @{
/// The settings of the current graphics object as it was made current (0 when
/// none is current).
int CurrentGraphicsWidth();
int CurrentGraphicsHeight();
int CurrentGraphicsDepth();
int CurrentGraphicsHertz();
int CurrentGraphicsFlags();
/// @}

/// Shuts the opened display, opens a new one, makes it current, decides
/// between hardware sync and software pacing, starts polled input and centres
/// the pointer. Null when the driver cannot create the display.
Ref<TGraphics> OpenGraphics(int width, int height, int depth, int hertz, int flags);
/// Shuts the opened display; nothing when none is open.
void ShutGraphics();
/// The display made by OpenGraphics, or null.
Ref<TGraphics> OpenedGraphics();

/// Runs the flip hooks, then presents: sync -1 = default pacing, 0 = without
/// waiting, 1 = on the vertical retrace.
void FlipFrame(int sync = -1);

/// Starts at 1, advances with every OpenGraphics and ShutGraphics that acts,
/// never 0. Driver resources record it to know whether they belong to the
/// present display.
int GraphicsSequence();
/// Sets the sequence number (0 becomes 1), for tests that need it near the wrap.
void SetGraphicsSequence(int value);
/// The hook id run (with a null payload) at the start of every FlipFrame;
/// -1 until InitGraphics reserves it.
extern int FlipHook;

/// Whether FlipFrame(-1) paces the opened display in software (for inspection).
bool SoftwareSyncEnabled();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
