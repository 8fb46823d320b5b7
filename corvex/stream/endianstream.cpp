#include "corvex/stream/endianstream.h"

#include <cstring>
#include <utility>

#include "corvex/stream/openers.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

// The value's bytes in host order, swapped: the big-endian form on this host.
template <class T>
T ReadSwapped(TSwapStream* stream, void (TSwapStream::*swap)(void*)) {
  unsigned char bytes[sizeof(T)] = {};
  stream->ReadExact(bytes, sizeof(T));
  (stream->*swap)(bytes);
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <class T>
void WriteSwapped(TSwapStream* stream, void (TSwapStream::*swap)(void*), T value) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  (stream->*swap)(bytes);
  stream->WriteExact(bytes, sizeof(T));
}

// "bigendian::<url>" and "littleendian::<url>".
class TEndianOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject*, const String& protocol, const String& path, int readable, int writeable) override {
    if (protocol == "bigendian"_s) return TSwapStream::BigEndian(OpenUrlStream(path, readable, writeable).Get());
    if (protocol == "littleendian"_s) return OpenUrlStream(path, readable, writeable);
    return nullptr;
  }
};

}  // namespace

int TSwapStream::ReadUInt16() { return ReadSwapped<std::uint16_t>(this, &TSwapStream::Swap2); }
void TSwapStream::WriteUInt16(int value) { WriteSwapped(this, &TSwapStream::Swap2, static_cast<std::uint16_t>(value)); }
std::int32_t TSwapStream::ReadInt32() { return ReadSwapped<std::int32_t>(this, &TSwapStream::Swap4); }
void TSwapStream::WriteInt32(std::int32_t value) { WriteSwapped(this, &TSwapStream::Swap4, value); }
std::int64_t TSwapStream::ReadInt64() { return ReadSwapped<std::int64_t>(this, &TSwapStream::Swap8); }
void TSwapStream::WriteInt64(std::int64_t value) { WriteSwapped(this, &TSwapStream::Swap8, value); }
float TSwapStream::ReadFloat32() { return ReadSwapped<float>(this, &TSwapStream::Swap4); }
void TSwapStream::WriteFloat32(float value) { WriteSwapped(this, &TSwapStream::Swap4, value); }
double TSwapStream::ReadFloat64() { return ReadSwapped<double>(this, &TSwapStream::Swap8); }
void TSwapStream::WriteFloat64(double value) { WriteSwapped(this, &TSwapStream::Swap8, value); }

void TSwapStream::Swap2(void* address) {
  auto* b = static_cast<unsigned char*>(address);
  std::swap(b[0], b[1]);
}

void TSwapStream::Swap4(void* address) {
  auto* b = static_cast<unsigned char*>(address);
  std::swap(b[0], b[3]);
  std::swap(b[1], b[2]);
}

void TSwapStream::Swap8(void* address) {
  auto* b = static_cast<unsigned char*>(address);
  std::swap(b[0], b[7]);
  std::swap(b[1], b[6]);
  std::swap(b[2], b[5]);
  std::swap(b[3], b[4]);
}

Ref<TSwapStream> TSwapStream::Create(TByteStream* stream) {
  if (!stream) return nullptr;
  return Ref<TSwapStream>(new TSwapStream(stream));
}

Ref<TByteStream> TSwapStream::BigEndian(TByteStream* stream) { return Create(stream); }
Ref<TByteStream> TSwapStream::LittleEndian(TByteStream* stream) { return Ref<TByteStream>(stream); }

Ref<TByteStream> BigEndianView(TByteStream* stream) { return TSwapStream::BigEndian(stream); }
Ref<TByteStream> LittleEndianView(TByteStream* stream) { return TSwapStream::LittleEndian(stream); }

void InitEndianStreams() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
}

void detail::CreateEndianOpener() { new TEndianOpener(); }

}  // namespace cvx
