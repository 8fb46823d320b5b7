/// @file
/// Reading helpers shared by the sample decoders.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/stream.h"

namespace cvx::audio {

/// Reads up to count bytes, looping over Read until the count, the end of the
/// stream, or a Read that brings nothing. Returns the bytes actually read
/// (ReadExact answers the requested count even when the stream ends first).
std::int64_t ReadAtMost(TByteStream* stream, void* buffer, std::int64_t count);

/// The bytes left between the position and the end, or -1 when the stream
/// cannot tell.
std::int64_t BytesLeft(TByteStream* stream);

}  // namespace cvx::audio

#include "corvex/runtime/api_end.h"
