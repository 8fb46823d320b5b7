// The vertex queue of the OpenGL 2D driver: primitives that share the GL
// state they are drawn with (texture on or off, which texture; everything
// else flushes the queue when it changes) are collected in one client-side
// vertex array of positions, texture coordinates and colours, and go to the
// GL in as few draw calls as possible.
//
// The queue only holds vertices; the driver decides when to flush (state
// changes, frame flips, reads of the frame, anything else that talks to GL).
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// One queued vertex: position and texture coordinate as the GL would get them
/// from glVertex2f and glTexCoord2f, and the colour bytes of glColor4ubv.
struct GLBatchVertex {
  float x;  ///< position, pixels
  float y;  ///< position, pixels
  float s;  ///< texture coordinate
  float t;  ///< texture coordinate
  std::uint8_t rgba[4];  ///< colour and alpha bytes
};

/// The colour bytes of a vertex (red, green, blue, alpha in memory order) as
/// one word, so that a vertex takes its colour in one store.
using GLBatchColor = std::uint32_t;

/// Fills one vertex: position, texture coordinate and colour bytes.
inline void SetBatchVertex(GLBatchVertex* v, float x, float y, float s, float t, GLBatchColor rgba) noexcept {
  v->x = x;
  v->y = y;
  v->s = s;
  v->t = t;
  std::memcpy(v->rgba, &rgba, sizeof rgba);
}

/// The queue of the batching 2D driver: vertices of one texture state, kept
/// as runs of one primitive mode, drawn out with glDrawArrays.
class GLBatch {
 public:
  /// A run of vertices drawn with one primitive mode. Runs of GL_QUADS,
  /// GL_LINES and GL_POINTS grow as more of the same mode follows; a
  /// GL_POLYGON run is always one polygon.
  struct Run {
    GLenum mode;    ///< the GL primitive mode
    GLint first;    ///< index of the run's first vertex
    GLsizei count;  ///< number of vertices
  };

  GLBatch();

  /// True when nothing is queued.
  bool Empty() const noexcept { return used_ == 0; }
  /// The texture the queued primitives are drawn with (0 = untextured).
  int Texture() const noexcept { return texture_; }
  /// The number of vertices queued.
  int VertexCount() const noexcept { return used_; }
  /// The queued vertices, VertexCount() of them in drawing order (valid until
  /// the next Append, Draw or Discard).
  const GLBatchVertex* Vertices() const noexcept { return vertices_.data(); }
  /// The number of runs queued (one glDrawArrays each, polygons one row).
  int RunCount() const noexcept { return static_cast<int>(runs_.size()); }

  /// Room for n more vertices of one primitive in mode, drawn with texture
  /// (0 = untextured). The caller must have flushed when the texture differs
  /// from Texture() of a non-empty queue. The pointer is valid until the next
  /// call; every field of the n vertices is the caller's to fill.
  GLBatchVertex* Append(GLenum mode, int texture, int n) {
    if (used_ + n > static_cast<int>(vertices_.size())) Grow(n);
    texture_ = texture;
    AddRun(mode, n);
    GLBatchVertex* out = vertices_.data() + used_;
    used_ += n;
    return out;
  }

  /// Draws the queued runs from the vertex array (the caller has set the
  /// texture state and enabled the three client arrays) and empties the queue.
  /// Consecutive polygons go in one glMultiDrawArrays.
  void Draw();

  /// Empties the queue without drawing (the context it was meant for is gone).
  void Discard() noexcept;

 private:
  // A run of the same mode grows in place (the sprite case); a new run is
  // kept out of line so that Append stays small enough to inline.
  void AddRun(GLenum mode, int n) {
    if (!runs_.empty() && mode != GL_POLYGON) {
      Run& last = runs_.back();
      if (last.mode == mode) {
        last.count += n;
        return;
      }
    }
    NewRun(mode, n);
  }
  void NewRun(GLenum mode, int n);
  void Grow(int n);

  std::vector<GLBatchVertex> vertices_;  // used_ of them hold queued vertices
  int used_ = 0;
  int texture_ = 0;
  std::vector<Run> runs_;
  std::vector<GLint> firsts_;  // scratch for glMultiDrawArrays
  std::vector<GLsizei> counts_;
};

}  // namespace cvx

#include "corvex/runtime/api_end.h"
