/// @file
/// Pixel formats and pixel runs.
///
/// A format is a small integer id; 0 is "no format". Every format stores whole
/// bytes per channel. RGBA8888 is the hub: a conversion between two other
/// formats goes through it, and the mask and resize operations work in it.
///
///   id  name              bytes in memory
///   1   PIXFMT_I8         intensity
///   2   PIXFMT_A8         alpha
///   3   PIXFMT_BGR888     blue, green, red
///   4   PIXFMT_RGB888     red, green, blue
///   5   PIXFMT_BGRA8888   blue, green, red, alpha  (a little-endian ARGB word)
///   6   PIXFMT_RGBA8888   red, green, blue, alpha
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"

namespace cvx {

inline constexpr int PIXFMT_I8 = 1;  ///< intensity (grey)
inline constexpr int PIXFMT_A8 = 2;  ///< alpha only
inline constexpr int PIXFMT_BGR888 = 3;  ///< blue, green, red
inline constexpr int PIXFMT_RGB888 = 4;  ///< red, green, blue
inline constexpr int PIXFMT_BGRA8888 = 5;  ///< blue, green, red, alpha
inline constexpr int PIXFMT_RGBA8888 = 6;  ///< red, green, blue, alpha (the hub)

/// Tables indexed by format id 0..6.
inline constexpr int PixelFormatBytes[7] = {0, 1, 1, 3, 3, 4, 4};
/// Bits of one pixel.
inline constexpr int PixelFormatBits[7] = {0, 8, 8, 24, 24, 32, 32};
/// @{
/// Bits of each channel (0 for a channel the format lacks).
inline constexpr int PixelFormatRedBits[7] = {0, 0, 0, 8, 8, 8, 8};
inline constexpr int PixelFormatGreenBits[7] = {0, 0, 0, 8, 8, 8, 8};
inline constexpr int PixelFormatBlueBits[7] = {0, 0, 0, 8, 8, 8, 8};
inline constexpr int PixelFormatAlphaBits[7] = {0, 0, 8, 0, 0, 8, 8};
/// @}

/// True for the ids 1 to 6.
constexpr bool IsPixelFormat(int format) noexcept { return format >= PIXFMT_I8 && format <= PIXFMT_RGBA8888; }
/// Bytes of one pixel; 0 for an id outside 1..6 (so that no table is read out of range).
constexpr int PixelFormatSize(int format) noexcept { return IsPixelFormat(format) ? PixelFormatBytes[format] : 0; }

/// Copies count pixels (count x bytes-per-pixel bytes). The runs may overlap.
void CopyPixelRun(const void* source, void* destination, int format, int count);

/// Converts count pixels from sourceFormat to destinationFormat, through the
/// RGBA8888 hub when neither side is the hub. Grey is (r + g + b) / 3; formats
/// without alpha read as opaque and drop alpha when written; A8 reads as white.
/// A run with a format outside 1..6 is left untouched. Source and destination
/// may be the same memory when both formats have the same pixel size.
void ConvertPixelRun(const void* source, int sourceFormat, void* destination, int destinationFormat, int count);

/// One step to or from the hub, for callers that already hold RGBA8888 runs.
void ConvertPixelRunToRGBA(const void* source, int sourceFormat, void* destination, int count);
/// The other step: count RGBA8888 pixels into destinationFormat.
void ConvertPixelRunFromRGBA(const void* source, void* destination, int destinationFormat, int count);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
