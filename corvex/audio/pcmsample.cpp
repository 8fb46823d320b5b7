#include "corvex/audio/pcmsample.h"

#include <cstring>
#include <memory>

#include "corvex/runtime/memory.h"

namespace cvx {

namespace {

[[noreturn]] void ThrowUnimplemented() { throw TRuntimeError("Unimplemented sample format conversion"); }

// One frame into the hub layout: left high, left low, right high, right low.
void ToHub(const std::uint8_t* in, int format, std::uint8_t* out, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i, out += 4) {
    switch (format) {
      case PCM_MONO8: {
        // The unsigned byte re-signed as the high byte and repeated as the
        // low byte, so that 0 and 255 reach the full 16-bit range.
        std::uint8_t c = in[i];
        out[0] = static_cast<std::uint8_t>(c - 128);
        out[1] = c;
        out[2] = static_cast<std::uint8_t>(c - 128);
        out[3] = c;
        break;
      }
      case PCM_MONO16LE: {
        const std::uint8_t* f = in + 2 * i;
        out[0] = f[1];
        out[1] = f[0];
        out[2] = f[1];
        out[3] = f[0];
        break;
      }
      case PCM_MONO16BE: {
        const std::uint8_t* f = in + 2 * i;
        out[0] = f[0];
        out[1] = f[1];
        out[2] = f[0];
        out[3] = f[1];
        break;
      }
      case PCM_STEREO8: {
        const std::uint8_t* f = in + 2 * i;
        out[0] = static_cast<std::uint8_t>(f[0] - 128);
        out[1] = f[0];
        out[2] = static_cast<std::uint8_t>(f[1] - 128);
        out[3] = f[1];
        break;
      }
      case PCM_STEREO16LE: {
        const std::uint8_t* f = in + 4 * i;
        out[0] = f[1];
        out[1] = f[0];
        out[2] = f[3];
        out[3] = f[2];
        break;
      }
      default:
        ThrowUnimplemented();
    }
  }
}

int HubChannel(const std::uint8_t* frame, int channel) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(frame[2 * channel] << 8 | frame[2 * channel + 1]));
}

std::uint8_t To8(int value) { return static_cast<std::uint8_t>((value + 32768) / 257); }

void FromHub(const std::uint8_t* in, std::uint8_t* out, int format, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i, in += 4) {
    const int left = HubChannel(in, 0);
    const int right = HubChannel(in, 1);
    const int mid = (left + right) / 2;  // C++ division truncates toward zero
    switch (format) {
      case PCM_MONO8:
        out[i] = To8(mid);
        break;
      case PCM_MONO16LE:
        out[2 * i] = static_cast<std::uint8_t>(mid & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>((mid >> 8) & 0xFF);
        break;
      case PCM_MONO16BE:
        out[2 * i] = static_cast<std::uint8_t>((mid >> 8) & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>(mid & 0xFF);
        break;
      case PCM_STEREO8:
        out[2 * i] = To8(left);
        out[2 * i + 1] = To8(right);
        break;
      case PCM_STEREO16LE:
        out[4 * i] = in[1];
        out[4 * i + 1] = in[0];
        out[4 * i + 2] = in[3];
        out[4 * i + 3] = in[2];
        break;
      default:
        ThrowUnimplemented();
    }
  }
}

}  // namespace

void ConvertPcmFrames(const void* source, int sourceFormat, void* destination, int destinationFormat,
                      std::int32_t count) {
  if (!IsPcmFormat(sourceFormat) || !IsPcmFormat(destinationFormat)) ThrowUnimplemented();
  if (count <= 0) return;
  const auto* in = static_cast<const std::uint8_t*>(source);
  auto* out = static_cast<std::uint8_t*>(destination);
  if (sourceFormat == destinationFormat) {
    std::memmove(out, in, static_cast<std::size_t>(count) * PcmBytesPerFrame[sourceFormat]);
    return;
  }
  if (destinationFormat == PCM_STEREO16BE) {
    ToHub(in, sourceFormat, out, count);
    return;
  }
  if (sourceFormat == PCM_STEREO16BE) {
    FromHub(in, out, destinationFormat, count);
    return;
  }
  // Neither side is the hub: through a temporary hub buffer, a block of
  // frames at a time so that long samples need no second full-size copy.
  constexpr std::int32_t kBlock = 4096;
  std::unique_ptr<std::uint8_t[]> hub(new std::uint8_t[kBlock * 4]);
  const int inBytes = PcmBytesPerFrame[sourceFormat];
  const int outBytes = PcmBytesPerFrame[destinationFormat];
  for (std::int32_t done = 0; done < count;) {
    const std::int32_t n = count - done < kBlock ? count - done : kBlock;
    ToHub(in + static_cast<std::size_t>(done) * inBytes, sourceFormat, hub.get(), n);
    FromHub(hub.get(), out + static_cast<std::size_t>(done) * outBytes, destinationFormat, n);
    done += n;
  }
}

TPcmSample::~TPcmSample() {
  if (capacity >= 0 && samples) SystemFree(samples);
}

std::int64_t TPcmSample::ByteCount() const noexcept {
  return IsPcmFormat(format) ? static_cast<std::int64_t>(length) * PcmBytesPerFrame[format] : 0;
}

Ref<TPcmSample> TPcmSample::Copy() {
  Ref<TPcmSample> copy = PcmSampleNew(length, hertz, format);
  if (copy->ByteCount() > 0) std::memcpy(copy->samples, samples, static_cast<std::size_t>(copy->ByteCount()));
  return copy;
}

Ref<TPcmSample> TPcmSample::ConvertTo(int newFormat) {
  if (!IsPcmFormat(format) || !IsPcmFormat(newFormat)) ThrowUnimplemented();
  Ref<TPcmSample> converted = PcmSampleNew(length, hertz, newFormat);
  ConvertPcmFrames(samples, format, converted->samples, newFormat, length);
  return converted;
}

Ref<TPcmSample> TPcmSample::PcmSampleNew(std::int32_t length, std::int32_t hertz, int format) {
  if (!IsPcmFormat(format)) throw TRuntimeError("Unknown sample format");
  if (length < 0) throw TRuntimeError("Negative sample length");
  Ref<TPcmSample> sample(new TPcmSample());
  const std::int64_t bytes = static_cast<std::int64_t>(length) * PcmBytesPerFrame[format];
  // SystemAllocate aligns to 16 bytes; an empty sample still gets a block so
  // that its address is never null.
  sample->samples = static_cast<std::uint8_t*>(SystemAllocate(static_cast<std::size_t>(bytes)));
  sample->length = length;
  sample->hertz = hertz;
  sample->format = format;
  sample->capacity = bytes;
  return sample;
}

Ref<TPcmSample> TPcmSample::PcmSampleWrap(void* address, std::int32_t length, std::int32_t hertz, int format) {
  Ref<TPcmSample> sample(new TPcmSample());
  sample->samples = static_cast<std::uint8_t*>(address);
  sample->length = length;
  sample->hertz = hertz;
  sample->format = format;
  sample->capacity = -1;
  return sample;
}

Ref<TPcmSample> PcmSampleNew(std::int32_t length, std::int32_t hertz, int format) {
  return TPcmSample::PcmSampleNew(length, hertz, format);
}
Ref<TPcmSample> PcmSampleWrap(void* address, std::int32_t length, std::int32_t hertz, int format) {
  return TPcmSample::PcmSampleWrap(address, length, hertz, format);
}
Ref<TPcmSample> PcmSampleCopy(TPcmSample* sample) { return Ref<TPcmSample>(sample)->Copy(); }
Ref<TPcmSample> PcmSampleConvert(TPcmSample* sample, int format) { return Ref<TPcmSample>(sample)->ConvertTo(format); }

}  // namespace cvx
