/// @file
/// A stream over a bank: reads stop at the bank's end, writes past it grow the
/// bank (by whole writes, with the bank's capacity rule). Flush and Close do
/// nothing.
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A stream over a bank (see the file comment).
class TBankByteStream : public TByteStream {
 public:
  std::int32_t Position() override;
  std::int32_t Size() override;
  /// Clamped to 0 .. the bank's size.
  std::int32_t Seek(std::int32_t position) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  /// A stream at position 0 over bank (NewBankByteStream makes a bank for a
  /// null one).
  static Ref<TBankByteStream> Create(TBank* bank);

  /// The bank.
  TBank* Bank() const noexcept { return bank_.Get(); }

 private:
  std::int32_t pos_ = 0;
  Ref<TBank> bank_;
};

/// A stream over bank, or over a new empty bank when bank is null.
Ref<TBankByteStream> NewBankByteStream(TBank* bank);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
