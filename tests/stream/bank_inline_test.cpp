// Small banks keep their bytes in their own object block and move them to a
// block of their own once they grow past that room: the bytes, the reserved
// counts and the written format must not show which memory holds them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "corvex/runtime/list.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/datastream.h"

namespace cvx {
namespace {

std::uint8_t Pattern(int i) { return static_cast<std::uint8_t>(i * 13 + 5); }

void Fill(TBank* bank) {
  for (int i = 0; i < BankLength(bank); ++i) BankAddress(bank)[i] = Pattern(i);
}

// The first byte that does not hold its pattern, or -1.
int FirstWrongByte(TBank* bank, int length) {
  for (int i = 0; i < length; ++i)
    if (BankGetUInt8At(bank, i) != Pattern(i)) return i;
  return -1;
}

bool Aligned(TBank* bank) { return reinterpret_cast<std::uintptr_t>(BankAddress(bank)) % 16 == 0; }

TEST(BankInlineTest, ResizingAcrossTheRoomKeepsBytesAlignmentAndReservedSteps) {
  InitBanks();
  // Reserved counts follow capacity * 3 / 2 (at least the size) on both sides.
  Ref<TBank> bank = NewBank(10);
  Fill(bank.Get());
  EXPECT_EQ(BankReserved(bank.Get()), 10);
  BankResize(bank.Get(), 12);
  EXPECT_EQ(BankReserved(bank.Get()), 15);
  EXPECT_EQ(FirstWrongByte(bank.Get(), 10), -1);
  EXPECT_TRUE(Aligned(bank.Get()));
  BankResize(bank.Get(), 16);
  EXPECT_EQ(BankReserved(bank.Get()), 22);
  EXPECT_EQ(FirstWrongByte(bank.Get(), 10), -1);
  EXPECT_TRUE(Aligned(bank.Get()));
  Fill(bank.Get());
  BankResize(bank.Get(), 40);
  EXPECT_EQ(BankReserved(bank.Get()), 40);
  EXPECT_EQ(FirstWrongByte(bank.Get(), 16), -1);

  // A bank that fills its room (32 bytes) exactly, then grows one byte past it.
  Ref<TBank> full = NewBank(32);
  EXPECT_EQ(BankReserved(full.Get()), 32);
  EXPECT_TRUE(Aligned(full.Get()));
  Fill(full.Get());
  std::uint8_t* inside = BankAddress(full.Get());
  BankResize(full.Get(), 32);  // no growth: the same bytes in the same place
  EXPECT_EQ(BankAddress(full.Get()), inside);
  BankResize(full.Get(), 33);
  EXPECT_EQ(BankReserved(full.Get()), 48);
  EXPECT_NE(BankAddress(full.Get()), inside);
  EXPECT_TRUE(Aligned(full.Get()));
  EXPECT_EQ(FirstWrongByte(full.Get(), 32), -1);

  // Shrinking back under the room keeps the grown block and its address.
  std::uint8_t* grown = BankAddress(full.Get());
  BankResize(full.Get(), 3);
  EXPECT_EQ(BankReserved(full.Get()), 48);
  EXPECT_EQ(BankAddress(full.Get()), grown);
  BankResize(full.Get(), 48);
  EXPECT_EQ(BankAddress(full.Get()), grown);
  EXPECT_EQ(FirstWrongByte(full.Get(), 3), -1);
  EXPECT_THROW(BankResize(full.Get(), -1), TRuntimeError);
}

TEST(BankInlineTest, EmptyAndStaticBanksAnswerAsBefore) {
  InitBanks();
  Ref<TBank> empty = NewBank(0);
  EXPECT_EQ(BankAddress(empty.Get()), nullptr);
  EXPECT_EQ(BankReserved(empty.Get()), 0);
  BankResize(empty.Get(), 0);
  EXPECT_EQ(BankAddress(empty.Get()), nullptr);
  BankResize(empty.Get(), 1);
  EXPECT_NE(BankAddress(empty.Get()), nullptr);
  EXPECT_EQ(BankReserved(empty.Get()), 1);

  // A static bank that grows within the room takes a copy of its bytes and
  // leaves the foreign block alone, then grows on past the room.
  std::uint8_t memory[4] = {Pattern(0), Pattern(1), Pattern(2), Pattern(3)};
  Ref<TBank> wrapped = NewStaticBank(memory, 4);
  EXPECT_EQ(BankReserved(wrapped.Get()), -1);
  BankResize(wrapped.Get(), 6);
  EXPECT_EQ(BankReserved(wrapped.Get()), 6);
  EXPECT_NE(BankAddress(wrapped.Get()), memory);
  EXPECT_TRUE(Aligned(wrapped.Get()));
  EXPECT_EQ(FirstWrongByte(wrapped.Get(), 4), -1);
  BankSetUInt8At(wrapped.Get(), 0, 99);
  EXPECT_EQ(memory[0], Pattern(0));
  BankSetUInt8At(wrapped.Get(), 0, Pattern(0));
  BankResize(wrapped.Get(), 17);
  EXPECT_EQ(BankReserved(wrapped.Get()), 17);
  EXPECT_EQ(FirstWrongByte(wrapped.Get(), 4), -1);
  BankResize(wrapped.Get(), 40);
  EXPECT_EQ(BankReserved(wrapped.Get()), 40);
  EXPECT_EQ(FirstWrongByte(wrapped.Get(), 4), -1);

  // One past the room at once: straight to a block of its own.
  std::uint8_t wide[32] = {};
  Ref<TBank> past = NewStaticBank(wide, 32);
  BankResize(past.Get(), 33);
  EXPECT_EQ(BankReserved(past.Get()), 33);
  EXPECT_TRUE(Aligned(past.Get()));
  BankSetUInt8At(past.Get(), 32, 7);
  EXPECT_EQ(BankGetUInt8At(past.Get(), 32), 7);
}

TEST(BankInlineTest, PeeksPokesAndStreamsWorkAtTheEdgesOfTheRoom) {
  InitBanks();
  Ref<TBank> bank = NewBank(32);
  BankSetInt64At(bank.Get(), 24, 0x0102030405060708LL);
  EXPECT_EQ(BankGetInt64At(bank.Get(), 24), 0x0102030405060708LL);
  BankSetUInt8At(bank.Get(), 31, 0xAB);
  EXPECT_EQ(BankGetUInt8At(bank.Get(), 31), 0xAB);
  EXPECT_THROW(BankGetUInt8At(bank.Get(), 32), TRuntimeError);
  EXPECT_THROW(BankGetInt32At(bank.Get(), 29), TRuntimeError);

  // A stream over a small bank reads its inline bytes and, writing on,
  // carries them over into the grown block.
  Fill(bank.Get());
  Ref<TBankByteStream> stream = NewBankByteStream(bank.Get());
  std::int32_t first = stream->ReadInt32();
  std::int32_t expected;
  std::memcpy(&expected, BankAddress(bank.Get()), 4);
  EXPECT_EQ(first, expected);
  stream->Seek(32);
  for (int i = 32; i < 70; ++i) stream->WriteUInt8(Pattern(i));
  EXPECT_EQ(BankLength(bank.Get()), 70);
  EXPECT_EQ(FirstWrongByte(bank.Get(), 70), -1);
}

// A bank that counts the resizes it is asked for.
class TCountingBank : public TBank {
 public:
  void Resize(std::int32_t newSize) override {
    ++resizes;
    TBank::Resize(newSize);
  }
  int resizes = 0;
};

TEST(BankInlineTest, StreamWritesWithinTheReservedBytesKeepTheBlock) {
  InitBanks();
  // A bank shrunk below what it reserved: writing on at its end reuses the
  // block, on both sides of the room.
  for (std::int32_t reserved : {24, 200}) {
    Ref<TBank> bank = NewBank(reserved);
    Fill(bank.Get());
    BankResize(bank.Get(), 4);
    std::uint8_t* block = BankAddress(bank.Get());
    Ref<TBankByteStream> stream = NewBankByteStream(bank.Get());
    stream->Seek(4);
    for (int i = 4; i < reserved; ++i) stream->WriteUInt8(Pattern(i));
    EXPECT_EQ(BankLength(bank.Get()), reserved);
    EXPECT_EQ(BankReserved(bank.Get()), reserved);
    EXPECT_EQ(BankAddress(bank.Get()), block);
    EXPECT_EQ(FirstWrongByte(bank.Get(), reserved), -1);
    stream->WriteUInt8(Pattern(reserved));
    EXPECT_EQ(BankLength(bank.Get()), reserved + 1);
    EXPECT_EQ(BankReserved(bank.Get()), reserved * 3 / 2);
    EXPECT_EQ(FirstWrongByte(bank.Get(), reserved + 1), -1);
  }

  // A bank of a class of its own is resized through its override every time.
  Ref<TCountingBank> counting = new TCountingBank();
  counting->Resize(100);
  counting->Resize(0);
  counting->resizes = 0;
  Ref<TBankByteStream> stream = NewBankByteStream(counting.Get());
  for (int i = 0; i < 10; ++i) stream->WriteUInt8(i);
  EXPECT_EQ(counting->resizes, 10);
  EXPECT_EQ(counting->BankLength(), 10);

  // A static bank grows into memory of its own, never past the foreign block.
  std::uint8_t memory[8] = {};
  Ref<TBank> wrapped = NewStaticBank(memory, 8);
  BankResize(wrapped.Get(), 2);
  Ref<TBankByteStream> over = NewBankByteStream(wrapped.Get());
  over->Seek(2);
  over->WriteUInt8(9);
  EXPECT_NE(BankAddress(wrapped.Get()), memory);
  EXPECT_EQ(memory[2], 0);
  EXPECT_EQ(BankGetUInt8At(wrapped.Get(), 2), 9);
}

// The bytes of a list of banks as written by hand: the list's type and count,
// then each bank's type id (its name the first time), size and bytes, or a
// back-reference for a bank met before.
std::vector<std::uint8_t> Image(const std::vector<int>& sizes, const std::vector<int>& items) {
  std::vector<std::uint8_t> out;
  auto put32 = [&out](std::int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto line = [&out](const std::string& text) {
    const std::string ended = text + "\r\n";
    out.insert(out.end(), ended.begin(), ended.end());
  };
  out.push_back(1);
  line("CVX.LinkedList.TList");
  put32(static_cast<std::int32_t>(items.size()));
  std::vector<int> numbers(sizes.size(), 0);
  int next = 2;
  bool named = false;
  for (int item : items) {
    if (numbers[static_cast<std::size_t>(item)]) {
      out.push_back(255);
      put32(numbers[static_cast<std::size_t>(item)]);
      continue;
    }
    numbers[static_cast<std::size_t>(item)] = next++;
    out.push_back(2);
    if (!named) line("CVX.Bank.TBank");
    named = true;
    put32(sizes[static_cast<std::size_t>(item)]);
    for (int i = 0; i < sizes[static_cast<std::size_t>(item)]; ++i) out.push_back(Pattern(i + item));
  }
  return out;
}

TEST(BankInlineTest, BanksOnBothSidesOfTheRoomSerialiseAsTheSameBytes) {
  InitDataStreams();
  const std::vector<int> sizes = {0, 15, 16, 17, 31, 32, 33};
  // Each bank, then a second reference to each in another order.
  const std::vector<int> items = {0, 1, 2, 3, 4, 5, 6, 2, 0, 6, 4, 1, 5, 3};
  std::vector<Ref<TBank>> banks;
  for (std::size_t b = 0; b < sizes.size(); ++b) {
    banks.push_back(NewBank(sizes[b]));
    for (int i = 0; i < sizes[b]; ++i) BankAddress(banks.back().Get())[i] = Pattern(i + static_cast<int>(b));
  }
  Ref<TList> list = NewList();
  for (int item : items) list->PushBack(Ref<TObject>(banks[static_cast<std::size_t>(item)]));

  Ref<TBankByteStream> bytes = NewBankByteStream(nullptr);
  TDataStream::Create(bytes.Get())->WriteSerialized(list.Get());
  const std::vector<std::uint8_t> image = Image(sizes, items);
  TBank* written = bytes->Bank();
  ASSERT_EQ(BankLength(written), static_cast<std::int32_t>(image.size()));
  EXPECT_EQ(std::memcmp(BankAddress(written), image.data(), image.size()), 0);

  // Bytes made by hand read back the same as the written ones: banks of
  // their sizes and bytes, shared where the image refers back.
  for (int pass = 0; pass < 2; ++pass) {
    Ref<TBank> source = NewBank(static_cast<std::int32_t>(image.size()));
    std::memcpy(BankAddress(source.Get()), pass ? image.data() : BankAddress(written), image.size());
    Ref<TBankByteStream> in = NewBankByteStream(source.Get());
    auto read = RefCast<TList>(TDataStream::Create(in.Get())->ReadSerialized());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->Length(), static_cast<std::int32_t>(items.size()));
    std::vector<TBank*> firstOf(sizes.size(), nullptr);
    int wrongBytes = 0, wrongSharing = 0;
    std::size_t k = 0;
    for (auto cursor = read->Cursor(); cursor->HasMore(); ++k) {
      auto* bank = As<TBank>(cursor->NextItem().Get());
      ASSERT_TRUE(bank);
      const auto item = static_cast<std::size_t>(items[k]);
      if (BankLength(bank) != sizes[item]) {
        ++wrongBytes;
        continue;
      }
      for (int i = 0; i < sizes[item]; ++i)
        if (BankGetUInt8At(bank, i) != Pattern(i + static_cast<int>(item))) ++wrongBytes;
      if (!firstOf[item]) {
        firstOf[item] = bank;
      } else if (firstOf[item] != bank) {
        ++wrongSharing;
      }
    }
    EXPECT_EQ(wrongBytes, 0) << "pass " << pass;
    EXPECT_EQ(wrongSharing, 0) << "pass " << pass;
  }
}

}  // namespace
}  // namespace cvx
