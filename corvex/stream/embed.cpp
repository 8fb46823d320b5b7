#include "corvex/stream/embed.h"

#include "corvex/stream/memorystream.h"
#include "corvex/stream/openers.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

Ref<EmbeddedBlob> embeddedHead;

// "incbin::<name>": a read-only memory stream over the registered bytes.
class TIncbinOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject*, const String& protocol, const String& path, int readable, int writeable) override {
    if (writeable || protocol != "incbin"_s) return nullptr;
    EmbeddedBlob* blob = EmbedLookup(path);
    if (!blob || !blob->Address()) {
      NoteStreamOpenFailure("no embedded file is named \"" + path.ToStd() + "\"");
      return nullptr;
    }
    return CreateMemoryStream(blob->Address(), blob->Size(), readable, 0);
  }
};

}  // namespace

EmbeddedBlob* FirstEmbeddedBlob() noexcept { return embeddedHead.Get(); }

EmbeddedBlob* EmbedLookup(const String& name) {
  for (EmbeddedBlob* blob = embeddedHead.Get(); blob; blob = blob->Next())
    if (blob->Name() == name) return blob;
  return nullptr;
}

int EmbedRegister(const String& name, const void* address, std::int32_t size) {
  if (EmbedLookup(name)) return 0;
  Ref<EmbeddedBlob> blob(new EmbeddedBlob());
  blob->name_ = name;
  blob->address_ = address;
  blob->size_ = size < 0 ? 0 : size;
  blob->next_ = embeddedHead;
  embeddedHead = blob;
  return 1;
}

const void* EmbedAddress(const String& name) {
  EmbeddedBlob* blob = EmbedLookup(name);
  return blob ? blob->Address() : nullptr;
}

std::int32_t EmbedSize(const String& name) {
  EmbeddedBlob* blob = EmbedLookup(name);
  return blob ? blob->Size() : 0;
}

void InitEmbed() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
}

void detail::CreateIncbinOpener() { new TIncbinOpener(); }

}  // namespace cvx
