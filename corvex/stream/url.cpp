#include "corvex/stream/url.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "corvex/runtime/filesystemname.h"
#include "corvex/runtime/log.h"
#include "corvex/runtime/shutdown.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/datastream.h"
#include "corvex/stream/embed.h"
#include "corvex/stream/endianstream.h"
#include "corvex/stream/filestream.h"
#include "corvex/stream/openers.h"
#include "corvex/stream/textstream.h"

namespace cvx {

namespace {

Ref<TStreamOpener> openerHead;

// Why the last opener that recognised a url could not open it, for the
// warning OpenUrlStream logs; empty when no opener gave a reason.
thread_local std::string openFailure;

// Filters stack by naming each other ("utf8::bigendian::data::..."), and each
// one opens the rest of the url through OpenUrlStream again: a url with
// thousands of prefixes would recurse until the stack ran out. Real stacks are
// a handful deep; beyond this many the url simply does not open.
constexpr int kMaxUrlNesting = 64;
thread_local int urlNesting = 0;
// Set once a url was refused for its depth, so that the levels above it,
// which fail in turn, add no warning of their own to the one already logged.
thread_local bool refusedForDepth = false;

struct UrlNestingScope {
  UrlNestingScope() noexcept { ++urlNesting; }
  ~UrlNestingScope() {
    if (--urlNesting == 0) refusedForDepth = false;
  }
};

const char* Mode(int readable, int writeable) {
  if (readable && writeable) return "reading and writing";
  return writeable ? "writing" : "reading";
}

// Only A-Z are lowered: protocols are plain ASCII words.
String LowerAsciiText(const String& text) {
  std::int32_t n = text.Length();
  if (n == 0) return text;
  auto units = std::make_unique<char16_t[]>(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    char16_t c = text.Units()[i];
    units[i] = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  }
  return String::OfUnits(units.get(), n);
}

// Closes the stream when the scope ends, also when a transfer raises.
class ClosingScope {
 public:
  explicit ClosingScope(TByteStream* stream) : stream_(stream) {}
  ~ClosingScope() {
    if (!stream_) return;
    try {
      stream_->Close();
    } catch (...) {
      // Already unwinding from the transfer's own error, or closing a stream
      // that failed; the first error is the one to report.
    }
  }
  void Close() {
    Ref<TByteStream> stream = std::move(stream_);
    stream->Close();
  }
  ClosingScope(const ClosingScope&) = delete;
  ClosingScope& operator=(const ClosingScope&) = delete;

 private:
  Ref<TByteStream> stream_;
};

// The whole-url transfers use the opened stream without testing it: a url
// that does not open raises the null object error here, before any transfer.
TByteStream* Opened(const Ref<TByteStream>& stream) { return stream.operator->(); }

}  // namespace

TStreamOpener::TStreamOpener() {
  next_ = openerHead;
  openerHead = this;
}

TStreamOpener* FirstStreamOpener() noexcept { return openerHead.Get(); }

void NoteStreamOpenFailure(const std::string& why) {
  try {
    openFailure = why;
  } catch (...) {
    // Without memory for the reason the warning goes without it.
  }
}

bool SplitUrl(const String& text, String& protocol, String& path) {
  std::int32_t at = text.IndexOf("::"_s);
  if (at < 0) return false;
  protocol = LowerAsciiText(Slice(text, 0, at));
  path = Slice(text, at + 2, text.Length());
  return true;
}

Ref<TByteStream> OpenUrlStream(const Ref<TObject>& url, int readable, int writeable) {
  InitStream();
  if (auto* stream = dynamic_cast<TByteStream*>(url.Get())) return TBorrowedStream::Borrow(stream);
  String text = String::FromObject(url.Get());
  if (urlNesting >= kMaxUrlNesting) {
    if (!refusedForDepth) {
      LogWarning("cannot open a url for %s: it nests more than %d stream filters", Mode(readable, writeable),
                 kMaxUrlNesting);
    }
    refusedForDepth = true;
    return nullptr;
  }
  UrlNestingScope nesting;
  String protocol;
  String path;
  if (!text.IsEmpty() && !SplitUrl(text, protocol, path)) {
    // Cut at a 0 byte the name would open (or truncate) another file.
    if (!IsWholeFileSystemName(text)) {
      LogWarning("cannot open file \"%s\" for %s: the name holds a 0 byte, so it names no file", text.AsAnsi().get(),
                 Mode(readable, writeable));
      return nullptr;
    }
    errno = 0;
    Ref<TByteStream> file = TFileStream::OpenCFile(text, readable, writeable);
    if (!file) {
      const int error = errno;
      LogWarning("cannot open file \"%s\" for %s: %s", text.AsAnsi().get(), Mode(readable, writeable),
                 error ? std::strerror(error) : "not a file");
    }
    return file;
  }
  openFailure.clear();
  for (TStreamOpener* opener = openerHead.Get(); opener; opener = opener->Next()) {
    Ref<TByteStream> stream = opener->OpenUrl(url.Get(), protocol, path, readable, writeable);
    if (stream) return stream;
  }
  if (refusedForDepth) return nullptr;
  if (text.IsEmpty()) {
    LogWarning("cannot open a stream for %s: the url is not a text nor a stream no opener takes",
               Mode(readable, writeable));
  } else if (!openFailure.empty()) {
    LogWarning("cannot open \"%s\" for %s: %s", text.AsAnsi().get(), Mode(readable, writeable), openFailure.c_str());
  } else {
    LogWarning("cannot open \"%s\" for %s: no stream opener takes protocol \"%s\" that way", text.AsAnsi().get(),
               Mode(readable, writeable), protocol.AsAnsi().get());
  }
  return nullptr;
}

Ref<TByteStream> OpenUrlForReading(const Ref<TObject>& url) { return OpenUrlStream(url, 1, 0); }
Ref<TByteStream> OpenUrlForWriting(const Ref<TObject>& url) { return OpenUrlStream(url, 0, 1); }

Array<std::uint8_t> UrlLoadBytes(const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForReading(url);
  ClosingScope closing(Opened(stream));
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(1024);
  std::int32_t length = 0;
  while (!stream->AtEnd()) {
    if (length == bytes->Length()) {
      // Worked out in 64 bits: past about a gigabyte length * 3 overflows. An
      // array holds at most 2^31 - 1 bytes; a longer source cannot be loaded.
      if (length == std::numeric_limits<std::int32_t>::max()) throw TRuntimeError("Stream too long to load");
      const auto size = static_cast<std::int32_t>(
          std::min<std::int64_t>(std::int64_t{length} * 3 / 2, std::numeric_limits<std::int32_t>::max()));
      Array<std::uint8_t> grown = NewArray<std::uint8_t>(size);
      std::copy(bytes->begin(), bytes->end(), grown->begin());
      bytes = grown;
    }
    std::int32_t n = stream->Read(bytes->Data() + length, bytes->Length() - length);
    // A source that brings nothing yet is not at its end would loop forever.
    if (n <= 0) break;
    length += std::min(n, bytes->Length() - length);
  }
  closing.Close();
  Array<std::uint8_t> result = NewArray<std::uint8_t>(length);
  std::copy(bytes->Data(), bytes->Data() + length, result->begin());
  return result;
}

void UrlSaveBytes(const Array<std::uint8_t>& bytes, const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForWriting(url);
  ClosingScope closing(Opened(stream));
  stream->WriteExact(bytes->Data(), bytes->Length());
  closing.Close();
}

String UrlLoadText(const Ref<TObject>& url) {
  Array<std::uint8_t> bytes = UrlLoadBytes(url);
  return String::OfBytes(bytes->Data(), bytes->Length());
}

void UrlSaveText(const String& text, const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForWriting(url);
  ClosingScope closing(Opened(stream));
  // Plain low bytes through WriteExact, not WriteText: a filter's own text
  // encoding does not apply to a whole-file save.
  std::int32_t n = text.Length();
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(n);
  for (std::int32_t i = 0; i < n; ++i) bytes->Data()[i] = static_cast<std::uint8_t>(text.Units()[i] & 0xFF);
  stream->WriteExact(bytes->Data(), n);
  closing.Close();
}

Ref<TObject> UrlLoadObject(const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForReading(url);
  if (!stream) return nullptr;
  ClosingScope closing(stream.Get());
  Ref<TObject> object = stream->ReadSerialized();
  closing.Close();
  return object;
}

void UrlSaveObject(TObject* object, const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForWriting(url);
  if (!stream) return;
  ClosingScope closing(stream.Get());
  stream->WriteSerialized(object);
  closing.Close();
}

namespace {
NetworkUrlConnect tcpConnect = nullptr;
NetworkUrlConnect httpConnect = nullptr;
}  // namespace

void SetNetworkUrlConnects(NetworkUrlConnect tcp, NetworkUrlConnect http) {
  tcpConnect = tcp;
  httpConnect = http;
}

namespace {

// "tcp" and "http" live in the network module; their openers are made here
// so that they take their place in the list before the text opener.
class TTcpOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject*, const String& protocol, const String& path, int, int) override {
    if (protocol != "tcp"_s || !tcpConnect) return nullptr;
    return tcpConnect(path);
  }
};

class THttpOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject*, const String& protocol, const String& path, int, int) override {
    if (protocol != "http"_s || !httpConnect) return nullptr;
    return httpConnect(path);
  }
};

}  // namespace

void detail::CreateNetworkOpeners() {
  new TTcpOpener();
  new THttpOpener();
}

void InitStream() {
  static bool done = false;
  if (done) return;
  done = true;
  // The openers are created in this order and asked newest first.
  detail::CreateDataOpener();
  detail::CreateBankOpener();
  detail::CreateIncbinOpener();
  detail::CreateEndianOpener();
  detail::CreateNetworkOpeners();
  detail::CreateTextOpener();
  // The rest of each module's start-up.
  InitDataStreams();
  InitBanks();
  InitEmbed();
  InitEndianStreams();
  InitTextStreams();
  // File streams write through C streams.
  AddShutdownStep("flush the write streams", [] { std::fflush(nullptr); });
}

}  // namespace cvx
