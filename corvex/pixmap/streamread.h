/// @file
/// A read that reports how much arrived, for the library-backed decoders,
/// which must tell the end of the data from a full buffer (ReadExact always
/// reports the whole count).
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"

namespace cvx {

class TByteStream;

/// Reads up to count bytes, stopping at the end of the stream; returns the
/// number read. Raises TStreamReadError when a read brings nothing before the end.
std::int32_t ReadAvailable(TByteStream* stream, void* buffer, std::int32_t count);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
