#include "corvex/stream/bank.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <typeinfo>

#include "corvex/runtime/memory.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/openers.h"
#include "corvex/stream/url.h"

namespace cvx {

// A small bank is one 64-byte block: its fields and its inline bytes.
static_assert(sizeof(TBank) == 64, "a bank with its inline bytes fills one 64-byte size class");

namespace {

Ref<TDataType> bankType;

// A corrupt size must not allocate more than the stream really holds, so the
// body is read in pieces and the bank grows with what arrives.
constexpr std::int32_t kReadPiece = 64 * 1024;

TBank* Need(TBank* bank) {
  if (!bank) ThrowNullObjectError();
  return bank;
}

class TBankDataType final : public TDataType {
 public:
  String TypeName() override { return "CVX.Bank.TBank"_s; }

  Ref<TObject> ReadData(TStreamBase* base) override {
    auto* stream = base ? base->AsByteStream() : nullptr;
    if (!stream) ThrowNullObjectError();
    std::int32_t size = stream->ReadInt32();
    if (size < 0) throw TStreamReadError();
    Ref<TBank> bank = TBank::Create(std::min(size, kReadPiece));
    std::int32_t got = 0;
    while (got < size) {
      if (stream->AtEnd()) throw TStreamReadError();
      std::int32_t want = std::min(size - got, kReadPiece);
      if (bank->BankLength() < got + want) bank->Resize(got + want);
      std::int32_t n = stream->Read(bank->BankAddress() + got, want);
      if (n <= 0 || n > want) throw TStreamReadError();
      got += n;
    }
    return bank;
  }

  void WriteData(TObject* object, TStreamBase* base) override {
    auto* bank = As<TBank>(object);
    auto* stream = base ? base->AsByteStream() : nullptr;
    if (!bank || !stream) ThrowNullObjectError();
    // The length is taken once: a stream over this very bank makes it grow
    // while it is written, and the size must count only the body that follows.
    const std::int32_t length = bank->BankLength();
    stream->WriteInt32(length);
    stream->WriteExact(bank->BankAddress(), length);
  }
};

class TBankOpener final : public TStreamOpener {
 public:
  Ref<TByteStream> OpenUrl(TObject* url, const String&, const String&, int, int) override {
    auto* bank = As<TBank>(url);
    if (!bank) return nullptr;
    return TBankByteStream::Create(bank);
  }
};

// A block of SystemAllocate grown to n bytes, its first `keep` bytes kept.
// SystemAllocate's block lies 1 to 16 bytes above malloc's, whose pointer it
// keeps in the word before it (memory.h), so realloc can grow it: a large
// block is then extended or remapped where it is, where a new block would be
// copied into fresh memory whose every page faults in again (a bank stream
// being written grows its bank by half again, over and over).
// Raises std::bad_alloc and keeps the old block when there is no memory.
std::uint8_t* GrowSystemBlock(std::uint8_t* block, std::size_t n, std::size_t keep) {
  void* raw = reinterpret_cast<void**>(block)[-1];
  const std::ptrdiff_t offset = block - static_cast<std::uint8_t*>(raw);
  void* grown = std::realloc(raw, n + 20);
  if (!grown) throw std::bad_alloc();
  const auto address = reinterpret_cast<std::uintptr_t>(grown);
  // The alignment SystemAllocate gives, and the word before it for SystemFree.
  auto* aligned = reinterpret_cast<std::uint8_t*>((address + 16) & ~static_cast<std::uintptr_t>(15));
  std::uint8_t* moved = static_cast<std::uint8_t*>(grown) + offset;
  if (moved != aligned && keep > 0) std::memmove(aligned, moved, keep);
  reinterpret_cast<void**>(aligned)[-1] = grown;
  return aligned;
}

template <class T>
T Peek(TBank* bank, std::int32_t offset) {
  bank->CheckRange(offset, sizeof(T));
  T value;
  std::memcpy(&value, bank->BankAddress() + offset, sizeof(T));
  return value;
}

template <class T>
void Poke(TBank* bank, std::int32_t offset, T value) {
  bank->CheckRange(offset, sizeof(T));
  std::memcpy(bank->BankAddress() + offset, &value, sizeof(T));
}

}  // namespace

TBank::~TBank() {
  if (capacity_ >= 0 && buffer_ && !IsInline()) SystemFree(buffer_);
}

Ref<TDataType> TBank::DataTypeOf() { return BankDataType(); }
std::uint8_t* TBank::BankAddress() { return buffer_; }
std::int32_t TBank::BankLength() { return size_; }
std::int32_t TBank::BankReserved() { return capacity_; }

void TBank::CheckRange(std::int32_t offset, std::int64_t count) const {
  if (offset < 0 || count < 0 || offset + count > size_) throw TRuntimeError("Bank offset out of range");
}

void TBank::Resize(std::int32_t newSize) {
  if (newSize < 0) throw TRuntimeError("Invalid bank size");
  // A static bank may shrink within its block; it has no room past its size.
  const bool grow = capacity_ < 0 ? newSize > size_ : newSize > capacity_;
  if (grow) {
    // A static bank's bytes are copied into memory of its own: its block
    // belongs to someone else and must be neither freed nor written past.
    std::int64_t grown = capacity_ < 0 ? 0 : static_cast<std::int64_t>(capacity_) * 3 / 2;
    grown = std::min<std::int64_t>(std::max<std::int64_t>(grown, newSize), std::numeric_limits<std::int32_t>::max());
    std::uint8_t* block;
    if (grown <= kInlineBytes) {
      // Still within the object's own room. The bytes are inline already, or
      // there are none, or they are a static bank's: a heap block is only
      // ever made past the room, and capacities only grow.
      block = inline_;
      if (size_ > 0 && buffer_ != inline_) std::memcpy(block, buffer_, static_cast<std::size_t>(size_));
    } else if (capacity_ >= 0 && buffer_ && !IsInline()) {
      block = GrowSystemBlock(buffer_, static_cast<std::size_t>(grown), static_cast<std::size_t>(size_));
    } else {
      block = static_cast<std::uint8_t*>(SystemAllocate(static_cast<std::size_t>(grown)));
      if (size_ > 0) std::memcpy(block, buffer_, static_cast<std::size_t>(size_));
    }
    buffer_ = block;
    capacity_ = static_cast<std::int32_t>(grown);
  }
  size_ = newSize;
}

std::int32_t TBank::ReadFrom(TStreamBase* stream, std::int32_t offset, std::int32_t count) {
  if (!stream) ThrowNullObjectError();
  CheckRange(offset, count);
  return stream->Read(buffer_ + offset, count);
}

std::int32_t TBank::WriteTo(TStreamBase* stream, std::int32_t offset, std::int32_t count) {
  if (!stream) ThrowNullObjectError();
  CheckRange(offset, count);
  return stream->Write(buffer_ + offset, count);
}

int TBank::GetUInt8At(std::int32_t offset) { return Peek<std::uint8_t>(this, offset); }
void TBank::SetUInt8At(std::int32_t offset, int value) { Poke(this, offset, static_cast<std::uint8_t>(value)); }
int TBank::GetUInt16At(std::int32_t offset) { return Peek<std::uint16_t>(this, offset); }
void TBank::SetUInt16At(std::int32_t offset, int value) { Poke(this, offset, static_cast<std::uint16_t>(value)); }
std::int32_t TBank::GetInt32At(std::int32_t offset) { return Peek<std::int32_t>(this, offset); }
void TBank::SetInt32At(std::int32_t offset, std::int32_t value) { Poke(this, offset, value); }
std::int64_t TBank::GetInt64At(std::int32_t offset) { return Peek<std::int64_t>(this, offset); }
void TBank::SetInt64At(std::int32_t offset, std::int64_t value) { Poke(this, offset, value); }
float TBank::GetFloat32At(std::int32_t offset) { return Peek<float>(this, offset); }
void TBank::SetFloat32At(std::int32_t offset, float value) { Poke(this, offset, value); }
double TBank::GetFloat64At(std::int32_t offset) { return Peek<double>(this, offset); }
void TBank::SetFloat64At(std::int32_t offset, double value) { Poke(this, offset, value); }

int TBank::Save(const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForWriting(url);
  if (!stream) return 0;
  try {
    stream->WriteExact(buffer_, size_);
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  return 1;
}

Ref<TBank> TBank::Load(const Ref<TObject>& url) {
  Ref<TByteStream> stream = OpenUrlForReading(url);
  if (!stream) return nullptr;
  Array<std::uint8_t> bytes;
  try {
    bytes = UrlLoadBytes(Ref<TObject>(stream));
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
  Ref<TBank> bank = Create(bytes->Length());
  if (bytes->Length() > 0) std::memcpy(bank->buffer_, bytes->Data(), static_cast<std::size_t>(bytes->Length()));
  return bank;
}

Ref<TBank> TBank::Create(std::int32_t size) {
  InitBanks();
  if (size < 0) throw TRuntimeError("Invalid bank size");
  Ref<TBank> bank = new TBank();
  bank->Resize(size);
  return bank;
}

Ref<TBank> TBank::WrapMemory(void* address, std::int32_t size) {
  InitBanks();
  if (size < 0 || (!address && size > 0)) throw TRuntimeError("Invalid bank size");
  Ref<TBank> bank = new TBank();
  bank->buffer_ = static_cast<std::uint8_t*>(address);
  bank->size_ = size;
  bank->capacity_ = -1;
  return bank;
}

Ref<TBank> NewBank(std::int32_t size) { return TBank::Create(size); }
Ref<TBank> NewStaticBank(void* address, std::int32_t size) { return TBank::WrapMemory(address, size); }
Ref<TBank> BankFromUrl(const Ref<TObject>& url) { return TBank::Load(url); }
int BankToUrl(TBank* bank, const Ref<TObject>& url) { return Need(bank)->Save(url); }
void BankResize(TBank* bank, std::int32_t size) { Need(bank)->Resize(size); }
std::uint8_t* BankAddress(TBank* bank) { return Need(bank)->BankAddress(); }
std::int32_t BankLength(TBank* bank) { return Need(bank)->BankLength(); }
std::int32_t BankReserved(TBank* bank) { return Need(bank)->BankReserved(); }

void BankCopy(TBank* source, std::int32_t sourceOffset, TBank* destination, std::int32_t destinationOffset,
              std::int32_t count) {
  Need(source)->CheckRange(sourceOffset, count);
  Need(destination)->CheckRange(destinationOffset, count);
  if (count > 0)
    std::memmove(destination->BankAddress() + destinationOffset, source->BankAddress() + sourceOffset, count);
}

int BankGetUInt8At(TBank* bank, std::int32_t offset) { return Need(bank)->GetUInt8At(offset); }
void BankSetUInt8At(TBank* bank, std::int32_t offset, int value) { Need(bank)->SetUInt8At(offset, value); }
int BankGetUInt16At(TBank* bank, std::int32_t offset) { return Need(bank)->GetUInt16At(offset); }
void BankSetUInt16At(TBank* bank, std::int32_t offset, int value) { Need(bank)->SetUInt16At(offset, value); }
std::int32_t BankGetInt32At(TBank* bank, std::int32_t offset) { return Need(bank)->GetInt32At(offset); }
void BankSetInt32At(TBank* bank, std::int32_t offset, std::int32_t value) { Need(bank)->SetInt32At(offset, value); }
std::int64_t BankGetInt64At(TBank* bank, std::int32_t offset) { return Need(bank)->GetInt64At(offset); }
void BankSetInt64At(TBank* bank, std::int32_t offset, std::int64_t value) { Need(bank)->SetInt64At(offset, value); }
float BankGetFloat32At(TBank* bank, std::int32_t offset) { return Need(bank)->GetFloat32At(offset); }
void BankSetFloat32At(TBank* bank, std::int32_t offset, float value) { Need(bank)->SetFloat32At(offset, value); }
double BankGetFloat64At(TBank* bank, std::int32_t offset) { return Need(bank)->GetFloat64At(offset); }
void BankSetFloat64At(TBank* bank, std::int32_t offset, double value) { Need(bank)->SetFloat64At(offset, value); }
std::int32_t BankFillFromStream(TBank* bank, TStreamBase* stream, std::int32_t offset, std::int32_t count) {
  return Need(bank)->ReadFrom(stream, offset, count);
}
std::int32_t BankDrainToStream(TBank* bank, TStreamBase* stream, std::int32_t offset, std::int32_t count) {
  return Need(bank)->WriteTo(stream, offset, count);
}

TDataType* BankDataType() {
  InitBanks();
  return bankType.Get();
}

void InitBanks() {
  static bool done = false;
  if (done) return;
  done = true;
  InitStream();
  bankType = new TBankDataType();
}

void detail::CreateBankOpener() { new TBankOpener(); }

// ---- TBankByteStream ------------------------------------------------------------

std::int32_t TBankByteStream::Position() { return pos_; }
std::int32_t TBankByteStream::Size() { return bank_->BankLength(); }
int TBankByteStream::AtEnd() { return pos_ == bank_->BankLength(); }

std::int32_t TBankByteStream::Seek(std::int32_t position) {
  pos_ = std::clamp(position, 0, bank_->BankLength());
  return pos_;
}

std::int32_t TBankByteStream::Read(void* buffer, std::int32_t count) {
  std::int32_t size = bank_->BankLength();
  if (count < 1 || pos_ >= size) return 0;
  std::int32_t n = std::min(count, size - pos_);
  // The buffer may lie in the bank itself (ReadFrom on a stream over its own bank).
  std::memmove(buffer, bank_->BankAddress() + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

std::int32_t TBankByteStream::Write(const void* buffer, std::int32_t count) {
  std::int32_t size = bank_->BankLength();
  if (count < 1 || pos_ > size) return 0;
  // A bank cannot pass 2 GB: a write that would is cut to what still fits.
  std::int32_t n = static_cast<std::int32_t>(
      std::min<std::int64_t>(count, static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) - pos_));
  if (n < 1) return 0;
  // The bytes may come from the bank itself (WriteTo on a stream over its own
  // bank): growing the bank may move them, so they are found again by offset.
  const auto* from = static_cast<const std::uint8_t*>(buffer);
  const auto start = reinterpret_cast<std::uintptr_t>(bank_->BankAddress());
  const auto at = reinterpret_cast<std::uintptr_t>(from);
  const bool inside = start != 0 && at >= start && at - start < static_cast<std::uintptr_t>(size);
  if (pos_ + n > size) {
    TBank* bank = bank_.Get();
    // Writing on at the end of a bank of the class itself, within its room,
    // only moves the size: no call, no growth test against a foreign block.
    if (typeid(*bank) == typeid(TBank) && bank->capacity_ >= pos_ + n) {
      bank->size_ = pos_ + n;
    } else {
      bank->Resize(pos_ + n);
    }
    if (inside) from = bank_->BankAddress() + (at - start);
  }
  std::memmove(bank_->BankAddress() + pos_, from, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

std::int32_t TBankByteStream::ReadExact(void* buffer, std::int32_t count) {
  if (count > 0 && count <= bank_->BankLength() - pos_) {
    std::memmove(buffer, bank_->BankAddress() + pos_, static_cast<std::size_t>(count));
    pos_ += count;
    return count;
  }
  return TByteStream::ReadExact(buffer, count);
}

std::int32_t TBankByteStream::SkipExact(std::int32_t count) {
  if (count > 0 && count <= bank_->BankLength() - pos_) {
    pos_ += count;
    return count;
  }
  return TByteStream::SkipExact(count);
}

String TBankByteStream::ReadTextLine() {
  std::int32_t size = bank_->BankLength();
  // A position past the end (the bank shrank under the stream) reads nothing.
  if (pos_ >= size) return String();
  std::int32_t consumed = 0;
  String line = detail::TextLineIn(bank_->BankAddress() + pos_, size - pos_, &consumed);
  pos_ += consumed;
  return line;
}

String TBankByteStream::ReadText(std::int32_t length) {
  if (length > 0 && length <= bank_->BankLength() - pos_) {
    String text = String::OfBytes(bank_->BankAddress() + pos_, length);
    pos_ += length;
    return text;
  }
  return TByteStream::ReadText(length);
}

Ref<TBankByteStream> TBankByteStream::Create(TBank* bank) {
  Ref<TBankByteStream> stream = new TBankByteStream();
  stream->bank_ = bank;
  return stream;
}

Ref<TBankByteStream> NewBankByteStream(TBank* bank) {
  return TBankByteStream::Create(bank ? bank : TBank::Create(0).Get());
}

}  // namespace cvx
