/// @file
/// Why a decoder that recognised its format could not decode it (libpng's or
/// libjpeg's own message, a refused size), kept for the one warning PixmapLoad
/// logs when a url decodes to nothing. Per thread; the first reason noted during
/// a PixmapLoad wins, since later decoders only see data that is not theirs.
#pragma once

#include <string>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// Notes why a decode failed (format: the image format's name, "PNG"); never
/// raises (a reason that cannot be stored is dropped).
void NotePixmapDecodeFailure(const char* format, const char* why) noexcept;
/// The reason noted since the last call, or "", and forgets it.
std::string TakePixmapDecodeFailure();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
