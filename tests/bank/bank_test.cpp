#include "corvex/stream/bank.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "corvex/pixmap/pixmap.h"
#include "corvex/stream/bankstream.h"
#include "corvex/stream/datastream.h"
#include "corvex/stream/memorystream.h"
#include "corvex/stream/url.h"

namespace cvx {
namespace {

class BankTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBanks();
    InitDataStreams();
  }
};

TEST_F(BankTest, ResizeGrowsByHalfOrToTheSizeAndShrinksInPlace) {
  Ref<TBank> bank = NewBank(10);
  EXPECT_EQ(bank->BankLength(), 10);
  EXPECT_EQ(bank->BankReserved(), 10);
  for (int i = 0; i < 10; ++i) bank->SetUInt8At(i, i + 1);
  bank->Resize(12);
  EXPECT_EQ(bank->BankReserved(), 15);
  EXPECT_EQ(bank->BankLength(), 12);
  bank->Resize(40);
  EXPECT_EQ(bank->BankReserved(), 40);
  std::uint8_t* kept = bank->BankAddress();
  bank->Resize(5);
  EXPECT_EQ(bank->BankReserved(), 40);
  EXPECT_EQ(bank->BankLength(), 5);
  EXPECT_EQ(bank->BankAddress(), kept);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(bank->GetUInt8At(i), i + 1);
  EXPECT_THROW(bank->Resize(-1), TRuntimeError);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(NewBank(100)->BankAddress()) % 16, 0u);
}

TEST_F(BankTest, PeeksAndPokesUseLittleEndianAndLowBits) {
  Ref<TBank> bank = NewBank(16);
  bank->SetUInt16At(0, 70000);
  EXPECT_EQ(bank->GetUInt16At(0), 4464);
  EXPECT_EQ(bank->GetUInt8At(0), 112);
  bank->SetInt32At(1, -2);  // unaligned
  EXPECT_EQ(bank->GetInt32At(1), -2);
  EXPECT_EQ(bank->GetUInt8At(1), 0xFE);
  EXPECT_EQ(bank->GetUInt8At(4), 0xFF);
  bank->SetInt64At(8, 0x0102030405060708LL);
  EXPECT_EQ(bank->GetUInt8At(8), 8);
  EXPECT_EQ(bank->GetInt64At(8), 0x0102030405060708LL);
  bank->SetFloat32At(3, 1.25f);
  EXPECT_EQ(bank->GetFloat32At(3), 1.25f);
  bank->SetFloat64At(8, -3.5);
  EXPECT_EQ(BankGetFloat64At(bank.Get(), 8), -3.5);
  bank->SetUInt8At(15, 300);
  EXPECT_EQ(bank->GetUInt8At(15), 44);
}

TEST_F(BankTest, AccessOutsideTheBytesInUseIsRefused) {
  Ref<TBank> bank = NewBank(8);
  EXPECT_THROW(bank->GetInt32At(5), TRuntimeError);
  EXPECT_THROW(bank->SetUInt8At(8, 1), TRuntimeError);
  EXPECT_THROW(bank->GetUInt8At(-1), TRuntimeError);
  EXPECT_NO_THROW(bank->GetInt64At(0));
  bank->Resize(2);  // capacity stays, but the bytes past the size are not in use
  EXPECT_THROW(bank->GetUInt16At(1), TRuntimeError);
  Ref<TBank> other = NewBank(4);
  EXPECT_THROW(BankCopy(bank.Get(), 0, other.Get(), 3, 2), TRuntimeError);
  EXPECT_THROW(BankGetUInt8At(nullptr, 0), TRuntimeError);
}

TEST_F(BankTest, CopyHandlesOverlap) {
  Ref<TBank> bank = NewBank(8);
  for (int i = 0; i < 8; ++i) bank->SetUInt8At(i, i);
  BankCopy(bank.Get(), 0, bank.Get(), 2, 6);
  const int expected[] = {0, 1, 0, 1, 2, 3, 4, 5};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(bank->GetUInt8At(i), expected[i]) << i;
}

TEST_F(BankTest, StaticBankCopiesItsBytesBeforeGrowing) {
  std::uint8_t memory[4] = {9, 8, 7, 6};
  Ref<TBank> bank = NewStaticBank(memory, 4);
  EXPECT_EQ(bank->BankReserved(), -1);
  EXPECT_EQ(bank->BankAddress(), memory);
  bank->SetUInt8At(0, 1);
  EXPECT_EQ(memory[0], 1);
  bank->Resize(2);  // shrinking keeps the foreign block
  EXPECT_EQ(bank->BankAddress(), memory);
  bank->Resize(6);
  EXPECT_NE(bank->BankAddress(), memory);
  EXPECT_EQ(bank->BankReserved(), 6);
  EXPECT_EQ(bank->GetUInt8At(1), 8);
  bank->SetUInt8At(2, 55);
  EXPECT_EQ(memory[2], 7);
}

TEST_F(BankTest, BankStreamReadsToTheEndAndGrowsOnWrites) {
  Ref<TBank> bank = NewBank(10);
  for (int i = 0; i < 10; ++i) bank->SetUInt8At(i, i);
  Ref<TBankByteStream> stream = NewBankByteStream(bank.Get());
  EXPECT_EQ(stream->Seek(6), 6);
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(stream->Read(buffer, 8), 4);
  EXPECT_EQ(buffer[0], 6);
  EXPECT_EQ(buffer[3], 9);
  EXPECT_TRUE(stream->AtEnd());
  EXPECT_EQ(stream->Read(buffer, 8), 0);
  stream->WriteInt32(0x44434241);
  EXPECT_EQ(bank->BankLength(), 14);
  EXPECT_EQ(bank->BankReserved(), 15);
  EXPECT_EQ(bank->GetUInt8At(10), 0x41);
  EXPECT_EQ(stream->Seek(-5), 0);
  EXPECT_EQ(stream->Seek(99), 14);
  EXPECT_EQ(stream->Write(buffer, 0), 0);

  Ref<TBankByteStream> fresh = NewBankByteStream(nullptr);
  ASSERT_TRUE(fresh->Bank());
  fresh->WriteTextLine("hi");
  EXPECT_EQ(fresh->Bank()->BankLength(), 4);
  fresh->Seek(0);
  EXPECT_EQ(fresh->ReadTextLine().ToStd(), "hi");
}

TEST_F(BankTest, BankUrlOpensABankStreamWhateverTheProtocol) {
  Ref<TBank> bank = NewBank(3);
  bank->SetUInt8At(0, 'x');
  Ref<TByteStream> stream = OpenUrlStream(Ref<TObject>(bank), 1, 1);
  ASSERT_TRUE(RefCast<TBankByteStream>(stream));
  EXPECT_EQ(stream->ReadUInt8(), 'x');
  EXPECT_EQ(RefCast<TBankByteStream>(stream)->Bank(), bank.Get());
}

TEST_F(BankTest, SaveAndLoadThroughFiles) {
  char pattern[] = "/tmp/corvex-bank-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string path = std::string(pattern) + "/bank.bin";
  Ref<TBank> bank = NewBank(1500);
  for (int i = 0; i < 1500; ++i) bank->SetUInt8At(i, i * 7);
  EXPECT_TRUE(BankToUrl(bank.Get(), String(path)));
  Ref<TBank> loaded = BankFromUrl(String(path));
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->BankLength(), 1500);
  EXPECT_EQ(std::memcmp(loaded->BankAddress(), bank->BankAddress(), 1500), 0);
  EXPECT_FALSE(BankFromUrl(String(std::string(pattern) + "/missing")));
  EXPECT_FALSE(bank->Save(String(std::string(pattern) + "/no/such/dir/x")));
  EXPECT_FALSE(TBank::Load(String("nosuchprotocol::x")));
  std::remove(path.c_str());
  rmdir(pattern);
}

// A data type handed a stream without typed operations refuses it rather
// than reading or writing through it.
TEST_F(BankTest, BankAndPixmapDataTypesRefuseAStreamWithoutTypedOperations) {
  Ref<TStreamBase> plain(new TStreamBase());
  Ref<TBank> bank = NewBank(4);
  Ref<TDataType> bankType = bank->DataTypeOf();
  EXPECT_THROW(bankType->WriteData(bank.Get(), plain.Get()), TRuntimeError);
  EXPECT_THROW(bankType->ReadData(plain.Get()), TRuntimeError);
  EXPECT_THROW(bankType->ReadData(nullptr), TRuntimeError);
  Ref<TPixmap> pixmap = PixmapCreate(2, 2, PIXFMT_RGBA8888);
  Ref<TDataType> pixmapType = pixmap->DataTypeOf();
  EXPECT_THROW(pixmapType->WriteData(pixmap.Get(), plain.Get()), TRuntimeError);
  EXPECT_THROW(pixmapType->ReadData(plain.Get()), TRuntimeError);
}

TEST_F(BankTest, BanksAndPixmapsShareOneDataStream) {
  InitPixmap();
  Ref<TBank> sink = NewBank(0);
  Ref<TDataStream> out = TDataStream::Create(NewBankByteStream(sink.Get()).Get());
  Ref<TBank> first = NewBank(3);
  for (int i = 0; i < 3; ++i) first->SetUInt8At(i, 0xA0 + i);
  Ref<TPixmap> pixmap = PixmapCreate(1, 1, PIXFMT_A8);
  pixmap->PixelAddress(0, 0)[0] = 0x5A;
  Ref<TBank> second = NewBank(0);
  out->WriteSerialized(first.Get());
  out->WriteSerialized(pixmap.Get());
  out->WriteSerialized(second.Get());
  out->WriteSerialized(first.Get());

  std::string expected;
  expected += '\x01';
  expected += "CVX.Bank.TBank\r\n";
  expected += std::string("\x03\0\0\0\xA0\xA1\xA2", 7);
  expected += '\x02';
  expected += "CVX.Pixmap.TPixmap\r\n";
  expected += std::string("\x01\0\0\0\x01\0\0\0\x02\0\0\0\x5A", 13);
  expected += '\x01';
  expected += std::string("\0\0\0\0", 4);
  expected += std::string("\xFF\x01\0\0\0", 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sink->BankAddress()), sink->BankLength()), expected);

  Ref<TDataStream> in = TDataStream::Create(NewBankByteStream(sink.Get()).Get());
  auto a = RefCast<TBank>(in->ReadSerialized());
  auto p = RefCast<TPixmap>(in->ReadSerialized());
  auto b = RefCast<TBank>(in->ReadSerialized());
  Ref<TObject> again = in->ReadSerialized();
  ASSERT_TRUE(a && p && b);
  EXPECT_EQ(a->BankLength(), 3);
  EXPECT_EQ(a->GetUInt8At(2), 0xA2);
  EXPECT_EQ(p->PixelAddress(0, 0)[0], 0x5A);
  EXPECT_EQ(b->BankLength(), 0);
  EXPECT_EQ(again.Get(), a.Get());
}

TEST_F(BankTest, CorruptBankBodiesRaiseReadErrors) {
  auto body = [](std::string bytes) {
    Ref<TBank> bank = NewBank(static_cast<std::int32_t>(bytes.size()));
    std::memcpy(bank->BankAddress(), bytes.data(), bytes.size());
    return TDataStream::Create(NewBankByteStream(bank.Get()).Get());
  };
  std::string head = std::string("\x01") + "CVX.Bank.TBank\r\n";
  EXPECT_THROW(body(head + std::string("\xFF\xFF\xFF\x7F"
                                       "abc",
                                       7))
                   ->ReadSerialized(),
               TStreamReadError);
  EXPECT_THROW(body(head + std::string("\xFE\xFF\xFF\xFF", 4))->ReadSerialized(), TStreamReadError);
  auto ok = RefCast<TBank>(body(head + std::string("\x02\0\0\0xy", 6))->ReadSerialized());
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->GetUInt8At(1), 'y');
}

TEST_F(BankTest, BankStreamTransfersWithinItsOwnBank) {
  // Draining a bank into a stream over the same bank appends the bank to
  // itself: the growth moves the bytes the write is copying from.
  Ref<TBank> bank = NewBank(4096);
  for (int i = 0; i < 4096; ++i) bank->SetUInt8At(i, i * 7);
  Ref<TBankByteStream> stream = NewBankByteStream(bank.Get());
  stream->Seek(4096);
  EXPECT_EQ(bank->WriteTo(stream.Get(), 0, 4096), 4096);
  ASSERT_EQ(bank->BankLength(), 8192);
  for (int i = 0; i < 8192; ++i) ASSERT_EQ(bank->GetUInt8At(i), (i % 4096) * 7 % 256) << i;

  // Overlapping ranges within the bank, both ways.
  for (int i = 0; i < 100; ++i) bank->SetUInt8At(i, i);
  stream->Seek(10);
  EXPECT_EQ(bank->WriteTo(stream.Get(), 0, 50), 50);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(bank->GetUInt8At(10 + i), i) << i;
  for (int i = 0; i < 100; ++i) bank->SetUInt8At(i, i);
  stream->Seek(0);
  EXPECT_EQ(bank->ReadFrom(stream.Get(), 10, 50), 50);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(bank->GetUInt8At(10 + i), i) << i;
  for (int i = 0; i < 100; ++i) bank->SetUInt8At(i, i);
  Ref<TMemoryStream> view = CreateMemoryStream(bank->BankAddress(), 100, 1, 1);
  EXPECT_EQ(bank->ReadFrom(view.Get(), 10, 50), 50);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(bank->GetUInt8At(10 + i), i) << i;
  view->Seek(20);
  EXPECT_EQ(bank->WriteTo(view.Get(), 0, 50), 50);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(bank->GetUInt8At(20 + i), i) << i;
}

TEST_F(BankTest, ABankSerialisedIntoAStreamOverItselfReadsBackWhole) {
  // The bank grows while it is written (by the type header, then by its own
  // size field): the size written must be the number of body bytes after it.
  Ref<TBank> bank = NewBank(100);
  for (int i = 0; i < 100; ++i) bank->SetUInt8At(i, i);
  Ref<TBankByteStream> out = NewBankByteStream(bank.Get());
  out->Seek(100);
  TDataStream::Create(out.Get())->WriteSerialized(bank.Get());
  const std::int32_t end = bank->BankLength();
  Ref<TBankByteStream> in = NewBankByteStream(bank.Get());
  in->Seek(100);
  auto back = RefCast<TBank>(TDataStream::Create(in.Get())->ReadSerialized());
  ASSERT_TRUE(back);
  ASSERT_GE(back->BankLength(), 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(back->GetUInt8At(i), i) << i;
  EXPECT_EQ(in->Position(), end);  // nothing written that the reader does not take
}

}  // namespace
}  // namespace cvx
