// Banks that grow in place of their old block (realloc): from a few bytes to
// sizes the C library maps on their own, the bytes stay and stay aligned.
#include <gtest/gtest.h>

#include <cstdint>

#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"

namespace cvx {
namespace {

std::uint8_t Pattern(std::int64_t i) { return static_cast<std::uint8_t>(i * 7 + (i >> 11)); }

// Misplaced bytes show up as a count; the first one found says where.
std::int64_t FirstWrongByte(TBank* bank, std::int64_t length) {
  const std::uint8_t* bytes = BankAddress(bank);
  for (std::int64_t i = 0; i < length; ++i)
    if (bytes[i] != Pattern(i)) return i;
  return -1;
}

TEST(BankGrowthTest, AStreamGrowingItsBankPastMappedSizesKeepsEveryByte) {
  Ref<TBankByteStream> stream = NewBankByteStream(nullptr);
  TBank* bank = stream->Bank();
  constexpr std::int64_t kBytes = 12 * 1024 * 1024;
  std::uint8_t piece[1000];
  int misaligned = 0;
  std::int32_t reserved = 0;
  int growths = 0;
  for (std::int64_t at = 0; at < kBytes; at += sizeof piece) {
    for (std::size_t i = 0; i < sizeof piece; ++i) piece[i] = Pattern(at + static_cast<std::int64_t>(i));
    stream->WriteExact(piece, sizeof piece);
    if (BankReserved(bank) != reserved) {
      reserved = BankReserved(bank);
      ++growths;
      if (reinterpret_cast<std::uintptr_t>(BankAddress(bank)) % 16) ++misaligned;
      // Each growth kept what came before it.
      if (FirstWrongByte(bank, stream->Position()) >= 0) break;
    }
  }
  EXPECT_GT(growths, 20);
  EXPECT_EQ(misaligned, 0);
  const std::int64_t written = BankLength(bank);
  EXPECT_GE(written, kBytes);
  EXPECT_EQ(FirstWrongByte(bank, written), -1);
}

}  // namespace
}  // namespace cvx
