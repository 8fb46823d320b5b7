/// @file
/// Banks: resizable blocks of raw bytes with typed peeks and pokes at byte
/// offsets (host byte order, no alignment needed), loadable from and savable to
/// any url. A bank passed to OpenUrlStream opens as a bank stream.
///
/// Offsets are checked: a peek, poke, copy or transfer outside the bytes in use
/// raises "Bank offset out of range" instead of touching foreign memory.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/serializable.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A resizable block of raw bytes (see the file comment). Every typed peek and
/// poke checks its range and raises TRuntimeError "Bank offset out of range"
/// outside the bytes in use.
class TBank : public TSerializable {
 public:
  /// Frees the bytes the bank owns.
  ~TBank() override;

  Ref<TDataType> DataTypeOf() override;
  /// The first byte (nullptr for an empty bank of its own).
  virtual std::uint8_t* BankAddress();
  /// The number of bytes in use.
  virtual std::int32_t BankLength();
  /// Bytes allocated, or -1 while the memory belongs to someone else.
  virtual std::int32_t BankReserved();
  /// Growing past the capacity reallocates to capacity * 3 / 2 (at least
  /// newSize) and keeps the bytes; shrinking only changes the size. A static
  /// bank that has to grow takes a copy of its bytes into memory of its own.
  /// A negative size raises "Invalid bank size".
  virtual void Resize(std::int32_t newSize);
  /// @{
  /// One Read / Write call on the stream at buffer + offset; may be short. Returns
  /// what the stream returned; raises "Bank offset out of range" when the range
  /// does not lie in the bank, and what the stream raises.
  virtual std::int32_t ReadFrom(TStreamBase* stream, std::int32_t offset, std::int32_t count);
  virtual std::int32_t WriteTo(TStreamBase* stream, std::int32_t offset, std::int32_t count);
  /// @}
  /// @{
  /// Peek or poke one number of the named type at a byte offset (host byte order,
  /// any alignment).
  virtual int GetUInt8At(std::int32_t offset);
  virtual void SetUInt8At(std::int32_t offset, int value);
  virtual int GetUInt16At(std::int32_t offset);
  virtual void SetUInt16At(std::int32_t offset, int value);
  virtual std::int32_t GetInt32At(std::int32_t offset);
  virtual void SetInt32At(std::int32_t offset, std::int32_t value);
  virtual std::int64_t GetInt64At(std::int32_t offset);
  virtual void SetInt64At(std::int32_t offset, std::int64_t value);
  virtual float GetFloat32At(std::int32_t offset);
  virtual void SetFloat32At(std::int32_t offset, float value);
  virtual double GetFloat64At(std::int32_t offset);
  virtual void SetFloat64At(std::int32_t offset, double value);
  /// @}
  /// Writes every byte to the url; false when it does not open.
  virtual int Save(const Ref<TObject>& url);

  /// Every byte the url holds, or null when it does not open.
  static Ref<TBank> Load(const Ref<TObject>& url);
  /// size bytes (not cleared), 16-byte aligned.
  static Ref<TBank> Create(std::int32_t size);
  /// A bank over memory it does not own (capacity -1).
  static Ref<TBank> WrapMemory(void* address, std::int32_t size);

  /// Raises "Bank offset out of range" unless offset .. offset + count lies
  /// within the bytes in use.
  void CheckRange(std::int32_t offset, std::int64_t count) const;

 private:
  // Its typed reads take the bytes and size from these fields directly.
  friend class TBankByteStream;
  /// Banks of up to this many reserved bytes keep them in the object's own
  /// block: a small bank is then one block the cache fetches once, not an
  /// object and a separate buffer somewhere else in memory. 32 makes the
  /// object 64 bytes, a size class of its own: at 16 (48 bytes) banks share
  /// the list nodes' class, and a large graph read back came out over twice
  /// as slow as with separate buffers.
  static constexpr std::int32_t kInlineBytes = 32;
  /// True while the bytes lie in inline_ (freed with the object, never alone).
  bool IsInline() const noexcept { return buffer_ == inline_; }
  std::uint8_t* buffer_ = nullptr;
  std::int32_t size_ = 0;
  /// What BankReserved answers: the inline room is not shown, so that growth
  /// follows the same steps whichever memory holds the bytes.
  std::int32_t capacity_ = 0;
  alignas(16) std::uint8_t inline_[kInlineBytes];
};

/// @{
/// Module functions; each runs the TBank operation of the same name (Create,
/// WrapMemory, Load, Save, Resize, the peeks and pokes, ReadFrom as
/// FillFromStream, WriteTo as DrainToStream) and a null bank raises the null
/// object error.
Ref<TBank> NewBank(std::int32_t size);
Ref<TBank> NewStaticBank(void* address, std::int32_t size);
Ref<TBank> BankFromUrl(const Ref<TObject>& url);
int BankToUrl(TBank* bank, const Ref<TObject>& url);
void BankResize(TBank* bank, std::int32_t size);
std::uint8_t* BankAddress(TBank* bank);
std::int32_t BankLength(TBank* bank);
std::int32_t BankReserved(TBank* bank);
/// @}
/// A memory move (the ranges may overlap).
void BankCopy(TBank* source, std::int32_t sourceOffset, TBank* destination, std::int32_t destinationOffset,
              std::int32_t count);
/// @{
/// The typed peeks and pokes of TBank on bank.
int BankGetUInt8At(TBank* bank, std::int32_t offset);
void BankSetUInt8At(TBank* bank, std::int32_t offset, int value);
int BankGetUInt16At(TBank* bank, std::int32_t offset);
void BankSetUInt16At(TBank* bank, std::int32_t offset, int value);
std::int32_t BankGetInt32At(TBank* bank, std::int32_t offset);
void BankSetInt32At(TBank* bank, std::int32_t offset, std::int32_t value);
std::int64_t BankGetInt64At(TBank* bank, std::int32_t offset);
void BankSetInt64At(TBank* bank, std::int32_t offset, std::int64_t value);
float BankGetFloat32At(TBank* bank, std::int32_t offset);
void BankSetFloat32At(TBank* bank, std::int32_t offset, float value);
double BankGetFloat64At(TBank* bank, std::int32_t offset);
void BankSetFloat64At(TBank* bank, std::int32_t offset, double value);
std::int32_t BankFillFromStream(TBank* bank, TStreamBase* stream, std::int32_t offset, std::int32_t count);
std::int32_t BankDrainToStream(TBank* bank, TStreamBase* stream, std::int32_t offset, std::int32_t count);
/// @}

/// The bank data type "CVX.Bank.TBank": the size as a 32-bit number, then the
/// bytes. A negative size, or one the stream runs out of before it is filled,
/// raises TStreamReadError.
TDataType* BankDataType();

/// Banks: their data type and the opener that turns a bank url into a stream.
void InitBanks();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
