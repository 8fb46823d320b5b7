/// @file
/// A stream over a bank: reads stop at the bank's end, writes past it grow the
/// bank (by whole writes, with the bank's capacity rule). Flush and Close do
/// nothing.
#pragma once

#include <cstdint>
#include <cstring>
#include <typeinfo>

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A stream over a bank (see the file comment).
class TBankByteStream : public TByteStream {
 public:
  std::int32_t Position() override;
  std::int32_t Size() override;
  int AtEnd() override;
  // Clamped to 0 .. the bank's size.
  std::int32_t Seek(std::int32_t position) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  std::int32_t ReadExact(void* buffer, std::int32_t count) override;
  std::int32_t SkipExact(std::int32_t count) override;
  int ReadUInt8() final { return Take<std::uint8_t>(); }
  int ReadUInt16() final { return Take<std::uint16_t>(); }
  std::int32_t ReadInt32() final { return Take<std::int32_t>(); }
  std::int64_t ReadInt64() final { return Take<std::int64_t>(); }
  float ReadFloat32() final { return Take<float>(); }
  double ReadFloat64() final { return Take<double>(); }
  // Scans the bank for the line's end instead of reading byte by byte.
  String ReadTextLine() override;
  String ReadText(std::int32_t length) override;

  /// A stream over the bank's bytes from position 0. Never null.
  static Ref<TBankByteStream> Create(TBank* bank);

  /// The bank.
  TBank* Bank() const noexcept { return bank_.Get(); }

 private:
  template <class T>
  T Take() {
    // The bank may have been resized since the last read: ask it each time
    // (through ->, which raises the null object error for a stream without one).
    TBank* bank = bank_.operator->();
    // A bank of the class itself answers from its fields, without the two
    // virtual calls a derived bank's overrides need.
    const bool plain = typeid(*bank) == typeid(TBank);
    const std::int32_t length = plain ? bank->size_ : bank->BankLength();
    if (length - pos_ >= static_cast<std::int32_t>(sizeof(T))) [[likely]] {
      T value;
      std::memcpy(&value, (plain ? bank->buffer_ : bank->BankAddress()) + pos_, sizeof(T));
      pos_ += static_cast<std::int32_t>(sizeof(T));
      return value;
    }
    return TakeThroughLoop<T>();
  }

  // Out of line and cold, so that the fast side keeps its registers and the
  // loop around it stays small.
  template <class T>
  [[gnu::noinline, gnu::cold]] T TakeThroughLoop() {
    return detail::ValueThroughLoop<T>(this);
  }

  std::int32_t pos_ = 0;
  Ref<TBank> bank_;
};

/// A stream over bank, or over a new empty bank when bank is null.
Ref<TBankByteStream> NewBankByteStream(TBank* bank);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
