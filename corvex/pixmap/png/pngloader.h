/// @file
/// PNG files through libpng: TPngDecoder for PixmapLoad, and PixmapSavePNG.
///
/// Every PNG decodes to 8 bits per channel: 16-bit samples keep their high
/// byte, palette images become RGB (RGBA with a transparency chunk), grey below
/// 8 bits is scaled to 0..255, and grey with alpha becomes RGBA (g, g, g, a).
/// Grey gives PIXFMT_I8, RGB PIXFMT_RGB888, anything with alpha PIXFMT_RGBA8888.
#pragma once

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// The PNG decoder for PixmapLoad.
class TPngDecoder final : public TPixmapDecoder {
 public:
  /// PixmapLoadPNG (stream).
  Ref<TPixmap> DecodePixmap(TByteStream* stream) override;
};

/// url: anything OpenUrlForReading accepts; a stream is read from its position
/// through a borrowed view and left open. Null for data that is not PNG or is
/// corrupt or truncated; a stream read failure raises TStreamReadError.
Ref<TPixmap> PixmapLoadPNG(const Ref<TObject>& url);
/// PixmapLoadPNG of a url given as text.
inline Ref<TPixmap> PixmapLoadPNG(const String& url) { return PixmapLoadPNG(Ref<TObject>(url)); }

/// Writes the pixmap as an 8-bit PNG (grey, RGB or RGBA by its format; A8 is
/// written as white RGBA) with the zlib level compression (0..9). 1 on
/// success; 0 when the url does not open or libpng refuses the image. An empty
/// pixmap, a pixmap without a format and a level outside -1..9 (-1: zlib's
/// default) give 0 before the url is opened, so an existing file is left as it
/// was. A stream write failure raises TStreamWriteError after the url's stream
/// has been closed.
int PixmapSavePNG(const Ref<TPixmap>& pixmap, const Ref<TObject>& url, int compression = 6);
/// PixmapSavePNG to a url given as text.
inline int PixmapSavePNG(const Ref<TPixmap>& pixmap, const String& url, int compression = 6) {
  return PixmapSavePNG(pixmap, Ref<TObject>(url), compression);
}

/// Registers the PNG decoder (once), after the pixmap module.
void InitPNGLoader();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
