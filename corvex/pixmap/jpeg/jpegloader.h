/// @file
/// The JPEG decoder over libjpeg (interface 62): greyscale files give
/// PIXFMT_I8, colour files PIXFMT_RGB888; CMYK and other layouts give null, as
/// do corrupt files (libjpeg's errors jump back to the decoder). A file cut
/// short decodes as far as it goes, the rest grey, as libjpeg does.
#pragma once

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The JPEG decoder (see the file comment).
class TJpegDecoder final : public TPixmapDecoder {
 public:
  Ref<TPixmap> DecodePixmap(TByteStream* stream) override;
};

/// Decodes a JPEG file from the stream's position; null when it is not one.
Ref<TPixmap> PixmapLoadJPEG(TByteStream* stream);

/// Registers the JPEG decoder (once), after the pixmap module.
void InitJPEGLoader();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
