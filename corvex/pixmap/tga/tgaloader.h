/// @file
/// The TGA decoder: uncompressed (type 2) and run-length (type 10) true-colour
/// files of 15, 16, 24 or 32 bits per pixel, up to 4096 x 4096. Depths 16 and
/// 32 give PIXFMT_RGBA8888, 15 and 24 PIXFMT_RGB888. The first stored row is the
/// pixmap's bottom row (the descriptor's origin bits are not looked at). In a
/// file cut short, the rows after the end of the data repeat the last row read.
#pragma once

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The TGA decoder (see the file comment).
class TTgaDecoder final : public TPixmapDecoder {
 public:
  Ref<TPixmap> DecodePixmap(TByteStream* stream) override;
};

/// Decodes a TGA file from the stream's position; null when the header is not
/// one this decoder reads.
Ref<TPixmap> PixmapLoadTGA(TByteStream* stream);

/// Registers the TGA decoder (once), after the pixmap module.
void InitTGALoader();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
