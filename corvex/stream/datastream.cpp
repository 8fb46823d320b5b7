#include "corvex/stream/datastream.h"

#include <algorithm>

#include "corvex/runtime/list.h"
#include "corvex/stream/openers.h"
#include "corvex/stream/textstream.h"
#include "corvex/stream/url.h"

namespace cvx {

namespace {

constexpr std::int32_t kNullId = 0;
constexpr std::int32_t kBackReference = 255;
constexpr std::int32_t kFirstObjectSlots = 256;

// Keeps the nesting count right when a body raises.
class NestingScope {
 public:
  NestingScope(int& depth, bool reading) : depth_(depth) {
    if (depth_ >= TDataStream::MaxNesting) {
      if (reading) throw TStreamReadError();
      throw TStreamWriteError();
    }
    ++depth_;
  }
  ~NestingScope() { --depth_; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

 private:
  int& depth_;
};

// The last `count` raw bytes before the position of `stream`, which is at its
// end; false when they cannot be read back.
bool LastBytes(TByteStream* stream, std::int32_t count, std::uint8_t* bytes) {
  std::int32_t end = stream->Position();
  if (end < count || stream->Seek(end - count) != end - count) return false;
  std::int32_t got = 0;
  while (got < count) {
    std::int32_t n = stream->Read(bytes + got, count - got);
    if (n <= 0) break;
    got += n;
  }
  stream->Seek(end);
  return got == count;
}

// True when the data just read ended with a line end (LF or a 0 character) in
// the given text encoding, or when that cannot be checked.
bool EndsWithLineEnd(TByteStream* bytes, int encoding) {
  std::uint8_t last[2] = {};
  switch (encoding) {
    case EncodingLatin1:
    case EncodingUtf8:
      if (!LastBytes(bytes, 1, last)) return bytes->Position() < 0;
      return last[0] == 10 || last[0] == 0;
    case EncodingUtf16BE:
      if (!LastBytes(bytes, 2, last)) return bytes->Position() < 0;
      return last[0] == 0 && (last[1] == 10 || last[1] == 0);
    case EncodingUtf16LE:
      if (!LastBytes(bytes, 2, last)) return bytes->Position() < 0;
      return last[1] == 0 && (last[0] == 10 || last[0] == 0);
    default:
      return true;
  }
}

TByteStream* ByteStreamOf(TStreamBase* stream) {
  auto* bytes = stream ? stream->AsByteStream() : nullptr;
  if (!bytes) ThrowNullObjectError();
  return bytes;
}

// The list's body: its length, then every item (null items included).
// Exactly that many items follow the length, whatever writing an item does to
// the list (a program's data type may add to it or take from it): items added
// meanwhile are left out, and items taken out before their turn are written
// as the null object, so the rest of the stream still reads back.
void WriteListBody(TList* list, TStreamBase* stream) {
  TByteStream* out = ByteStreamOf(stream);
  const std::int32_t count = list->Length();
  out->WriteInt32(count);
  std::int32_t written = 0;
  for (auto cursor = list->Cursor(); written < count && cursor->HasMore(); ++written)
    out->WriteSerialized(cursor->NextItem().Get());
  for (; written < count; ++written) out->WriteSerialized(nullptr);
}

Ref<TObject> ReadListBody(TStreamBase* stream) {
  TByteStream* in = ByteStreamOf(stream);
  Ref<TList> list = NewList();
  std::int32_t count = in->ReadInt32();
  if (count < 0) throw TStreamReadError();
  // Every item takes at least one byte, so a corrupt count runs out of data
  // (and raises) instead of filling memory with nulls.
  for (std::int32_t i = 0; i < count; ++i) list->PushBack(in->ReadSerialized());
  return list;
}

class TDataOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject*, const String& protocol, const String& path, int readable, int writeable) override {
    if (protocol != "data"_s) return nullptr;
    if (readable && writeable) throw TRuntimeError("DataStreams can not be both readable and writeable");
    Ref<TByteStream> inner = OpenUrlStream(path, readable, writeable);
    if (!inner) return nullptr;
    return TDataStream::Create(inner.Get());
  }
};

}  // namespace

TDataStream::TDataStream(TByteStream* inner)
    : TStreamRelay(inner), objects_(kFirstObjectSlots), types_(NewArray<Ref<TDataType>>(256)) {}

Ref<TDataStream> TDataStream::Create(TByteStream* stream) {
  InitDataStreams();
  if (!stream) return nullptr;
  return Ref<TDataStream>(new TDataStream(stream));
}

Ref<TDataStream> CreateDataStream(TByteStream* stream) { return TDataStream::Create(stream); }

void TDataStream::WriteTypeId(const Ref<TDataType>& type) {
  // Types are few and the same type objects come back object after object:
  // the name (and its text copy) is looked at only for a type object not seen yet.
  if (auto known = typeIdsByObject_.find(type.Get()); known != typeIdsByObject_.end()) {
    WriteUInt8(known->second);
    return;
  }
  String name = type->TypeName();
  std::u16string key(name.Units(), static_cast<std::size_t>(name.Length()));
  std::int32_t id;
  if (auto named = typeIds_.find(key); named != typeIds_.end()) {
    id = named->second;
    WriteUInt8(id);
  } else {
    // Identifiers stop at 254 (255 is the back-reference); the count is not
    // moved past that, so a later new type is refused as well instead of
    // wrapping round to the null byte.
    if (typeCount_ + 1 >= kBackReference) throw TRuntimeError("Too many DataTypes");
    id = ++typeCount_;
    typeIds_.emplace(std::move(key), id);
    WriteUInt8(id);
    WriteTextLine(name);
  }
  typeIdsByObject_.emplace(type.Get(), id);
  typeObjects_.push_back(type);
}

void TDataStream::WriteSerialized(TObject* object) {
  TSerializable* serializable = nullptr;
  if (object && &typeid(*object) == lastSerializableClass_) {
    serializable = static_cast<TSerializable*>(object);
  } else {
    serializable = As<TSerializable>(object);
    if (serializable) lastSerializableClass_ = &typeid(*object);
  }
  if (!serializable) {
    WriteUInt8(kNullId);
    return;
  }
  if (std::int32_t known = objectIds_.Find(object)) {
    WriteUInt8(kBackReference);
    WriteInt32(known);
    return;
  }
  NestingScope nesting(depth_, false);
  Ref<TDataType> type = serializable->DataTypeOf();
  WriteTypeId(type);
  ++objectCount_;
  objectIds_.Add(object, objectCount_);
  written_.emplace_back(object);
  type->WriteData(object, this);
}

Ref<TObject> TDataStream::ReadSerialized() {
  // Where the data has ended there is no reference at all, not a null one.
  if (AtEnd()) throw TStreamReadError();
  std::int32_t id = ReadUInt8();
  if (id == kNullId) return nullptr;
  if (id == kBackReference) {
    std::int32_t number = ReadInt32();
    if (number < 0 || static_cast<std::size_t>(number) >= objects_.size()) throw TStreamReadError();
    return objects_[static_cast<std::size_t>(number)];
  }
  // A filter underneath (a text stream) may hand back any number.
  if (id < 0 || id > kBackReference) throw TStreamReadError();
  NestingScope nesting(depth_, true);
  Ref<TDataType> type = (*types_)[id];
  if (!type) {
    String name = ReadTextLine();
    type = FindDataType(name);
    if (!type) throw TRuntimeError(("Unrecognized DataType: "_s + name).ToStd());
    (*types_)[id] = type;
  }
  ++objectCount_;
  if (static_cast<std::size_t>(objectCount_) >= objects_.size()) objects_.resize(objects_.size() * 2);
  std::int32_t number = objectCount_;
  Ref<TObject> object = type->ReadData(this);
  objects_[static_cast<std::size_t>(number)] = object;
  type->AfterRead(object.Get(), this);
  return object;
}

void TDataStream::CheckWholeAtEnd(std::int32_t before, std::int32_t binaryBytes) {
  if (auto* text = As<TCharsetStream>(inner_.Get())) {
    // Every value of a text stream is a line, whatever its binary size.
    if (binaryBytes >= 0 && text->Inner() && !EndsWithLineEnd(text->Inner(), text->Encoding())) {
      throw TStreamReadError();
    }
    return;
  }
  if (binaryBytes == 0) {
    if (!EndsWithLineEnd(inner_.Get(), EncodingLatin1)) throw TStreamReadError();
    return;
  }
  std::int32_t after = Position();
  if (before >= 0 && after >= 0 && after - before < binaryBytes) throw TStreamReadError();
}

// Only the value that meets the end of the data can be cut short: one read at
// the end is no value at all, one that reached it is checked for its bytes.
template <class Value, class ReadFn>
Value TDataStream::ReadWhole(std::int32_t binaryBytes, ReadFn read) {
  if (AtEnd()) throw TStreamReadError();
  std::int32_t before = Position();
  Value value = read();
  if (AtEnd()) CheckWholeAtEnd(before, binaryBytes);
  return value;
}

int TDataStream::ReadUInt8() {
  return ReadWhole<int>(1, [this] { return TStreamRelay::ReadUInt8(); });
}
int TDataStream::ReadUInt16() {
  return ReadWhole<int>(2, [this] { return TStreamRelay::ReadUInt16(); });
}
std::int32_t TDataStream::ReadInt32() {
  return ReadWhole<std::int32_t>(4, [this] { return TStreamRelay::ReadInt32(); });
}
float TDataStream::ReadFloat32() {
  return ReadWhole<float>(4, [this] { return TStreamRelay::ReadFloat32(); });
}
double TDataStream::ReadFloat64() {
  return ReadWhole<double>(8, [this] { return TStreamRelay::ReadFloat64(); });
}
String TDataStream::ReadTextLine() {
  return ReadWhole<String>(0, [this] { return TStreamRelay::ReadTextLine(); });
}

String TDataStream::ReadText(std::int32_t length) {
  if (length <= 0) return String();
  if (As<TCharsetStream>(inner_.Get())) {
    // A text stream gives fewer characters where its data ends.
    String text = ReadWhole<String>(-1, [&] { return TStreamRelay::ReadText(length); });
    if (text.Length() < length) throw TStreamReadError();
    return text;
  }
  return ReadWhole<String>(length, [&] { return TStreamRelay::ReadText(length); });
}

std::int32_t TDataStream::ReadExact(void* buffer, std::int32_t count) {
  auto* at = static_cast<std::uint8_t*>(buffer);
  auto* text = As<TCharsetStream>(inner_.Get());
  std::int32_t before = text && text->Inner() ? text->Inner()->Position() : -1;
  std::int32_t got = 0;
  while (got < count) {
    if (AtEnd()) throw TStreamReadError();
    std::int32_t n = Read(at + got, count - got);
    if (n <= 0) throw TStreamReadError();
    got += std::min(n, count - got);
  }
  // A text stream's bytes are digit pairs: one that lost its second digit to
  // the end still counts as a byte there.
  if (before >= 0 && AtEnd()) {
    std::int32_t after = text->Inner()->Position();
    if (after >= 0 && after - before < 2 * static_cast<std::int64_t>(count)) throw TStreamReadError();
  }
  return count;
}

std::int32_t TDataStream::SkipExact(std::int32_t count) {
  std::uint8_t scratch[1024];
  for (std::int32_t remaining = count; remaining > 0;) {
    std::int32_t n = std::min<std::int32_t>(remaining, sizeof scratch);
    ReadExact(scratch, n);
    remaining -= n;
  }
  return count;
}

void InitDataStreams() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
  InitList();
  SetListDataBody(&ReadListBody, &WriteListBody);
}

void detail::CreateDataOpener() { new TDataOpener(); }

}  // namespace cvx
