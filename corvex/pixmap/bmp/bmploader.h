/// @file
/// The BMP decoder: uncompressed Windows bitmaps of 1, 4, 8, 24 and 32 bits per
/// pixel. Paletted and 24-bit files give BGR888 pixmaps, 32-bit files BGRA8888
/// with the fourth byte as alpha. The pixmap module registers it first, so
/// PixmapLoad asks it last.
#pragma once

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The BMP decoder (see the file comment).
class TBmpDecoder final : public TPixmapDecoder {
 public:
  Ref<TPixmap> DecodePixmap(TByteStream* stream) override;
};

/// Decodes a BMP file from the stream's position; null when it is not one or
/// its header is unusable. Reads forward only.
Ref<TPixmap> PixmapLoadBMP(TByteStream* stream);

/// Registers the BMP decoder (once); InitPixmap runs it.
void InitBMPLoader();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
