/// @file
/// The pixmap's data type, "CVX.Pixmap.TPixmap": a pixmap's body in a data
/// stream is its width, height and format as 32-bit numbers, then each row's
/// pixel bytes (the bytes between rows are not written).
#pragma once

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/serializable.h"

namespace cvx {

/// The data type of pixmaps in data streams (see the file comment).
class TPixmapDataType final : public TDataType {
 public:
  String TypeName() override;
  /// A corrupt body (format outside 1..6, a negative size or one past the
  /// decode limit) raises a runtime error instead of allocating.
  Ref<TObject> ReadData(TStreamBase* stream) override;
  void WriteData(TObject* object, TStreamBase* stream) override;
};

/// The one pixmap data type, made by InitPixmapDataType (InitPixmap runs it).
TDataType* PixmapDataType();
/// Makes the pixmap data type (once).
void InitPixmapDataType();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
