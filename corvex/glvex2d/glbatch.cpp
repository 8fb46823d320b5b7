// The vertex queue of the OpenGL 2D driver.
#define GL_GLEXT_PROTOTYPES 1
#include "corvex/glvex2d/glbatch.h"

#include <GL/glext.h>

#include <algorithm>

namespace cvx {

namespace {

// A frame of a few thousand sprites fits without growing; the array keeps
// the largest size it has needed.
constexpr int kInitialVertices = 4096;

}  // namespace

GLBatch::GLBatch() {
  vertices_.resize(kInitialVertices);
  runs_.reserve(64);
}

void GLBatch::Grow(int n) {
  std::size_t size = vertices_.size();
  while (size < static_cast<std::size_t>(used_) + static_cast<std::size_t>(n)) size *= 2;
  vertices_.resize(size);
}

void GLBatch::NewRun(GLenum mode, int n) { runs_.push_back({mode, used_, n}); }

void GLBatch::Draw() {
  if (used_ == 0) return;
  const GLBatchVertex* v = vertices_.data();
  glVertexPointer(2, GL_FLOAT, sizeof(GLBatchVertex), &v->x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(GLBatchVertex), &v->s);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(GLBatchVertex), v->rgba);
  const std::size_t count = runs_.size();
  for (std::size_t i = 0; i < count;) {
    const Run& run = runs_[i];
    if (run.mode != GL_POLYGON) {
      glDrawArrays(run.mode, run.first, run.count);
      ++i;
      continue;
    }
    // A polygon cannot be joined to the next one in a single GL_POLYGON
    // draw, but a row of them can go in one call.
    std::size_t end = i;
    while (end < count && runs_[end].mode == GL_POLYGON) ++end;
    if (end - i == 1) {
      glDrawArrays(GL_POLYGON, run.first, run.count);
    } else {
      firsts_.clear();
      counts_.clear();
      for (std::size_t k = i; k < end; ++k) {
        firsts_.push_back(runs_[k].first);
        counts_.push_back(runs_[k].count);
      }
      glMultiDrawArrays(GL_POLYGON, firsts_.data(), counts_.data(), static_cast<GLsizei>(end - i));
    }
    i = end;
  }
  Discard();
}

void GLBatch::Discard() noexcept {
  used_ = 0;
  texture_ = 0;
  runs_.clear();
}

}  // namespace cvx
