/// @file
/// Pixel-exact collision layers. Images (or plain rectangles) placed the way
/// they would be drawn become quads; quads are written into any of 32 layers
/// and probed against a mask of layers, which returns the ids of everything
/// they touch. Two quads collide when some pixel inside both is solid in both.
/// Where their common bounding box holds more than 2^22 pixels and the images
/// are scaled up so far that each texel covers several pixels each way, the
/// pixels are tested on an evenly spaced grid (of about 2048 x 2048, never
/// sparser than half a texel), so that such a test takes a bounded time.
#pragma once

#include <cstdint>

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/list.h"
#include "corvex/runtime/object.h"

namespace cvx {

class TImage;

/// The number of layers; layer k is bit k (1 << k) of a mask.
inline constexpr int CollisionLayerCount = 32;

/// One placed quad.
class TQuad : public TObject {
 public:
  Ref<TQuad> next;      ///< next quad in its layer or in the pool
  Ref<TObject> id;      ///< returned by probes
  Ref<TPixmap> pixmap;  ///< null for a rectangle (solid everywhere)
  /// @{
  /// The quad's bounding box.
  float minX = 0, minY = 0, maxX = 0, maxY = 0;
  /// @}
  /// Four vertices of (x, y, u, v): top-left (0, 0), top-right (1, 0),
  /// bottom-right (1, 1), bottom-left (0, 1).
  float vertices[16] = {};

  /// Places the quad's four corners (top-left, top-right, bottom-right,
  /// bottom-left) and updates its bounding box.
  virtual void SetCorners(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);
};

/// Places an image frame the way BlitImage would draw it (through the current
/// matrix), returns the ids of the quads in the collideMask layers that it
/// touches, then writes it with id into the writeMask layers. Layer k is bit k
/// (1 << k) of a mask. A null image raises the null object error.
ObjectArray ProbeImage(TImage* image, float x, float y, int frame, std::uint32_t collideMask, std::uint32_t writeMask,
                       const Ref<TObject>& id);
/// As ProbeImage for a solid rectangle.
ObjectArray ProbeRect(float x, float y, float width, float height, std::uint32_t collideMask, std::uint32_t writeMask,
                      const Ref<TObject>& id);
/// Empties every layer whose bit is set, or every layer for mask 0.
void ClearLayers(std::uint32_t mask);
/// 1 when the two images placed as BlitImage would draw them share a solid
/// pixel, else 0. Layer 31 serves as scratch for the two pair tests. A null
/// image raises the null object error, a frame index out of range the array
/// index error.
int ImagesOverlap(TImage* image1, float x1, float y1, int frame1, TImage* image2, float x2, float y2, int frame2);
/// As ImagesOverlap with each image rotated (degrees) and scaled on its own; the
/// drawing rotation and scale are as they were afterwards, also when it raises.
int ImagesOverlapTransformed(TImage* image1, float x1, float y1, int frame1, float rotation1, float scaleX1,
                             float scaleY1, TImage* image2, float x2, float y2, int frame2, float rotation2,
                             float scaleX2, float scaleY2);

/// The collision matrix, a copy of the 2D matrix kept by UpdateTransform.
void SetCollisionMatrix(float ix, float iy, float jx, float jy) noexcept;

/// Module state access for tests and tools.
int LayerQuadCount(int layer);
/// The number of quads kept for reuse.
int QuadPoolCount();
/// Makes the 32 layers (run by the 2D layer's initialiser).
void InitCollisionLayers();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
