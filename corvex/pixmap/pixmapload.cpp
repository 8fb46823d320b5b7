// The decoder list, PixmapLoad and the pixmap module's initialiser.
#include "corvex/pixmap/bmp/bmploader.h"
#include "corvex/pixmap/decodefailure.h"
#include "corvex/pixmap/pixmap.h"
#include "corvex/pixmap/pixmapdatatype.h"
#include "corvex/runtime/log.h"
#include "corvex/stream/stream.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {
Ref<TPixmapDecoder> decoderHead;
int decodeLimit = kDefaultPixmapDecodeLimit;
thread_local std::string decodeFailure;

std::string Describe(const Ref<TObject>& url) {
  String text = String::FromObject(url.Get());
  if (!text.IsEmpty()) return "\"" + text.ToStd() + "\"";
  return url ? "a stream" : "a null url";
}
}  // namespace

void NotePixmapDecodeFailure(const char* format, const char* why) noexcept {
  try {
    if (decodeFailure.empty()) decodeFailure = std::string(format) + ": " + why;
  } catch (...) {
    // Without memory for the reason the warning goes without it.
  }
}

std::string TakePixmapDecodeFailure() {
  std::string why;
  why.swap(decodeFailure);
  return why;
}

TPixmapDecoder::TPixmapDecoder() {
  // The module's own decoder (BMP) goes in first, so it stays the last one asked.
  InitPixmap();
  next_ = decoderHead;
  decoderHead = this;
}

TPixmapDecoder* FirstPixmapDecoder() noexcept { return decoderHead.Get(); }

int PixmapDecodeLimit() noexcept { return decodeLimit; }
void SetPixmapDecodeLimit(int pixels) noexcept { decodeLimit = pixels < 1 ? 1 : pixels; }

bool PixmapDecodeSizeAllowed(std::int64_t width, std::int64_t height) noexcept {
  return width >= 1 && height >= 1 && width <= kMaxDecodedSide && height <= kMaxDecodedSide &&
         width * height <= decodeLimit;
}

std::int64_t StreamBytesLeft(TByteStream* stream) {
  const std::int64_t position = stream->Position();
  const std::int64_t size = stream->Size();
  return position < 0 || size < position ? -1 : size - position;
}

bool PixmapDataCanFill(std::int64_t bytesLeft, std::int64_t allocationBytes, std::int64_t minimumDataBytes) noexcept {
  if (bytesLeft < 0 || allocationBytes <= kPixmapUncheckedBytes) return true;
  return bytesLeft >= (minimumDataBytes + 3) / 4;
}

Ref<TPixmap> PixmapLoad(const Ref<TObject>& url) {
  InitPixmap();
  Ref<TByteStream> stream = OpenUrlForReading(url);
  if (!stream) return nullptr;  // the url's own warning says why
  TakePixmapDecodeFailure();
  Ref<TPixmap> pixmap;
  bool rewound = true;
  try {
    const std::int32_t start = stream->Position();
    if (start != -1) {
      for (TPixmapDecoder* decoder = FirstPixmapDecoder(); decoder && !pixmap; decoder = decoder->Next()) {
        // A stream that cannot go back to the start cannot be offered to the
        // next decoder.
        if (stream->Position() != start && stream->Seek(start) != start) {
          rewound = false;
          break;
        }
        try {
          pixmap = decoder->DecodePixmap(stream.Get());
        } catch (const TStreamError&) {
          pixmap = nullptr;  // unreadable data is a failed decode, not an error
        }
      }
    }
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  if (!pixmap) {
    std::string why = TakePixmapDecodeFailure();
    if (why.empty())
      why = rewound ? "no decoder (PNG, JPEG, TGA, BMP) recognised the data"
                    : "the stream cannot go back to its start for the next decoder";
    LogWarning("PixmapLoad %s: %s", Describe(url).c_str(), why.c_str());
  }
  return pixmap;
}

void InitPixmap() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
  InitPixmapDataType();
  InitBMPLoader();
}

}  // namespace cvx
