#include "corvex/stream/datastream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "corvex/pixmap/pixmap.h"
#include "corvex/runtime/list.h"
#include "corvex/stream/bank.h"
#include "corvex/stream/textstream.h"
#include "corvex/stream/url.h"
#include "corvex/vex2d/image.h"
#include "corvex/vex2d/vex2d.h"
#include "tests/datastream/byte_sink.h"

namespace cvx {
namespace {

using testing_data::Append;
using testing_data::Bytes;
using testing_data::Int32Bytes;
using testing_data::TByteSink;
using testing_data::Text;

class DataStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataStreams();
    InitPixmap();
  }
  Ref<TByteSink> sink = new TByteSink();
  Ref<TDataStream> out = TDataStream::Create(sink.Get());

  Ref<TDataStream> Reader(const Bytes& bytes) {
    reading = new TByteSink(bytes);
    return TDataStream::Create(reading.Get());
  }
  Ref<TByteSink> reading;
};

Ref<TPixmap> SmallPixmap() {
  Ref<TPixmap> pixmap = PixmapCreate(3, 2, PIXFMT_RGB888);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) pixmap->PixelAddress(0, y)[x] = static_cast<std::uint8_t>(y * 16 + x);
  return pixmap;
}

Bytes PixmapBody() {
  Bytes body = Int32Bytes(3);
  Append(body, Int32Bytes(2));
  Append(body, Int32Bytes(PIXFMT_RGB888));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) body.push_back(static_cast<std::uint8_t>(y * 16 + x));
  return body;
}

TEST_F(DataStreamTest, SamePixmapTwiceIsWrittenOnceThenAsBackReference) {
  Ref<TPixmap> pixmap = SmallPixmap();
  out->WriteSerialized(pixmap.Get());
  out->WriteSerialized(pixmap.Get());
  Bytes expected = {1};
  Append(expected, Text("CVX.Pixmap.TPixmap\r\n"));
  Append(expected, PixmapBody());
  expected.push_back(255);
  Append(expected, Int32Bytes(1));
  EXPECT_EQ(sink->data, expected);

  Ref<TDataStream> in = Reader(sink->data);
  Ref<TObject> first = in->ReadSerialized();
  Ref<TObject> second = in->ReadSerialized();
  auto read = RefCast<TPixmap>(first);
  ASSERT_TRUE(read);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(read->width, 3);
  EXPECT_EQ(read->height, 2);
  EXPECT_EQ(read->format, PIXFMT_RGB888);
  for (int y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(read->PixelAddress(0, y), pixmap->PixelAddress(0, y), 9), 0);
}

TEST_F(DataStreamTest, NullAndNonSerialisableObjectsAreOneZeroByte) {
  out->WriteSerialized(nullptr);
  out->WriteSerialized(Ref<TObject>(String("text")).Get());
  EXPECT_EQ(sink->data, (Bytes{0, 0}));
  Ref<TDataStream> in = Reader(sink->data);
  EXPECT_FALSE(in->ReadSerialized());
  EXPECT_FALSE(in->ReadSerialized());
}

TEST_F(DataStreamTest, TypeIdentifiersAreReusedAndNamesWrittenOnce) {
  Ref<TList> a = NewList();
  Ref<TList> b = NewList();
  out->WriteSerialized(a.Get());
  out->WriteSerialized(SmallPixmap().Get());
  out->WriteSerialized(b.Get());
  Bytes expected = {1};
  Append(expected, Text("CVX.LinkedList.TList\r\n"));
  Append(expected, Int32Bytes(0));
  expected.push_back(2);
  Append(expected, Text("CVX.Pixmap.TPixmap\r\n"));
  Append(expected, PixmapBody());
  expected.push_back(1);
  Append(expected, Int32Bytes(0));
  EXPECT_EQ(sink->data, expected);
  EXPECT_EQ(out->TypeCount(), 2);
  EXPECT_EQ(out->ObjectCount(), 3);

  Ref<TDataStream> in = Reader(sink->data);
  EXPECT_TRUE(RefCast<TList>(in->ReadSerialized()));
  EXPECT_TRUE(RefCast<TPixmap>(in->ReadSerialized()));
  Ref<TObject> third = in->ReadSerialized();
  EXPECT_TRUE(RefCast<TList>(third));
  EXPECT_EQ(in->ObjectCount(), 3);
}

TEST_F(DataStreamTest, ListHoldingItselfIsHeaderThenReferenceToItself) {
  Ref<TList> list = NewList();
  list->PushBack(Ref<TObject>(list));
  out->WriteSerialized(list.Get());
  Bytes expected = {1};
  Append(expected, Text("CVX.LinkedList.TList\r\n"));
  Append(expected, Int32Bytes(1));
  expected.push_back(255);
  Append(expected, Int32Bytes(1));
  EXPECT_EQ(sink->data, expected);
  list->RemoveAll();  // break the cycle

  // A reference to an object from inside its own body is not supported: it
  // reads as the null object, and reading goes on without harm.
  Ref<TDataStream> in = Reader(sink->data);
  auto read = RefCast<TList>(in->ReadSerialized());
  ASSERT_TRUE(read);
  ASSERT_EQ(read->Length(), 1);
  EXPECT_FALSE(read->Front());
}

TEST_F(DataStreamTest, SharedObjectsInsideNestedBodiesKeepTheirIdentity) {
  Ref<TPixmap> pixmap = SmallPixmap();
  Ref<TList> inner = NewList();
  inner->PushBack(Ref<TObject>(pixmap));
  inner->PushBack(nullptr);
  Ref<TList> outer = NewList();
  outer->PushBack(Ref<TObject>(inner));
  outer->PushBack(Ref<TObject>(pixmap));
  outer->PushBack(Ref<TObject>(inner));
  out->WriteSerialized(outer.Get());
  out->WriteSerialized(outer.Get());

  Ref<TDataStream> in = Reader(sink->data);
  auto read = RefCast<TList>(in->ReadSerialized());
  ASSERT_TRUE(read);
  EXPECT_EQ(in->ReadSerialized().Get(), read.Get());  // the outer list's own number
  ASSERT_EQ(read->Length(), 3);
  auto readInner = RefCast<TList>(read->ItemAt(0));
  ASSERT_TRUE(readInner);
  EXPECT_EQ(readInner->Length(), 2);
  EXPECT_EQ(readInner->Front().Get(), read->ItemAt(1).Get());
  EXPECT_FALSE(readInner->Back());
  EXPECT_EQ(read->Back().Get(), readInner.Get());
  EXPECT_TRUE(RefCast<TPixmap>(read->ItemAt(1)));
}

TEST_F(DataStreamTest, ImagesCarryTheirPixmapsThroughTheStream) {
  InitVex2D();
  Ref<TPixmap> pixmap = SmallPixmap();
  Ref<TImage> image = new TImage();
  image->width = 3;
  image->height = 2;
  image->flags = 3;
  image->maskRed = 10;
  image->maskGreen = 20;
  image->maskBlue = 30;
  image->handleX = 1.5f;
  image->handleY = -2.0f;
  image->pixmaps = NewArray<Ref<TPixmap>>(3);
  (*image->pixmaps)[0] = pixmap;
  (*image->pixmaps)[2] = pixmap;
  out->WriteSerialized(image.Get());

  Ref<TDataStream> in = Reader(sink->data);
  auto read = RefCast<TImage>(in->ReadSerialized());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->width, 3);
  EXPECT_EQ(read->flags, 3);
  EXPECT_EQ(read->maskBlue, 30);
  EXPECT_FLOAT_EQ(read->handleX, 1.5f);
  EXPECT_FLOAT_EQ(read->handleY, -2.0f);
  ASSERT_EQ(read->pixmaps->Length(), 3);
  ASSERT_TRUE((*read->pixmaps)[0]);
  EXPECT_FALSE((*read->pixmaps)[1]);
  EXPECT_EQ((*read->pixmaps)[0].Get(), (*read->pixmaps)[2].Get());
  EXPECT_TRUE(reading->AtEnd());
}

TEST_F(DataStreamTest, UnknownTypeNameIsReported) {
  Bytes bytes = {7};
  Append(bytes, Text("No.Such.Type\r\n"));
  Ref<TDataStream> in = Reader(bytes);
  try {
    in->ReadSerialized();
    FAIL() << "no error";
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "Unrecognized DataType: No.Such.Type");
  }
}

TEST_F(DataStreamTest, CorruptInputRaisesReadErrors) {
  // Nothing at all where a reference should be.
  EXPECT_THROW(Reader({})->ReadSerialized(), TStreamReadError);
  // A list claiming two billion items with three present.
  Bytes huge = {1};
  Append(huge, Text("CVX.LinkedList.TList\r\n"));
  Append(huge, Int32Bytes(0x7FFFFFFF));
  Append(huge, Bytes{0, 0, 0});
  EXPECT_THROW(Reader(huge)->ReadSerialized(), TStreamReadError);
  // A negative count.
  Bytes negative = {1};
  Append(negative, Text("CVX.LinkedList.TList\r\n"));
  Append(negative, Int32Bytes(-1));
  EXPECT_THROW(Reader(negative)->ReadSerialized(), TStreamReadError);
  // Back-references outside the objects array.
  Bytes far = {255};
  Append(far, Int32Bytes(1 << 20));
  EXPECT_THROW(Reader(far)->ReadSerialized(), TStreamReadError);
  Bytes below = {255};
  Append(below, Int32Bytes(-3));
  EXPECT_THROW(Reader(below)->ReadSerialized(), TStreamReadError);
  // A number within the array that was never read is the null object.
  Bytes unread = {255};
  Append(unread, Int32Bytes(5));
  EXPECT_FALSE(Reader(unread)->ReadSerialized());
}

// An empty pixmap of the greatest height has no bytes to read: it comes
// back at once, and so does its copy written out again.
TEST_F(DataStreamTest, EmptyPixmapsOfHugeHeightOrWidthAreReadWithoutAPerRowLoop) {
  for (auto [width, height] : {std::pair{0, 0x7FFFFFFF}, std::pair{0x7FFFFFFF, 0}}) {
    Bytes bytes = {1};
    Append(bytes, Text("CVX.Pixmap.TPixmap\r\n"));
    Append(bytes, Int32Bytes(width));
    Append(bytes, Int32Bytes(height));
    Append(bytes, Int32Bytes(PIXFMT_RGBA8888));
    auto pixmap = RefCast<TPixmap>(Reader(bytes)->ReadSerialized());
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->width, width);
    EXPECT_EQ(pixmap->height, height);
    Ref<TByteSink> copy = new TByteSink();
    TDataStream::Create(copy.Get())->WriteSerialized(pixmap.Get());
    EXPECT_EQ(copy->data, bytes);
  }
}

TEST_F(DataStreamTest, DeepNestingIsRefusedNotOverflowingTheStack) {
  Bytes nested;
  for (int i = 0; i < 5000; ++i) {
    nested.push_back(1);
    if (i == 0) Append(nested, Text("CVX.LinkedList.TList\r\n"));
    Append(nested, Int32Bytes(1));
  }
  nested.push_back(0);
  EXPECT_THROW(Reader(nested)->ReadSerialized(), TStreamReadError);

  Ref<TList> head = NewList();
  Ref<TList> tail = head;
  for (int i = 0; i < TDataStream::MaxNesting + 5; ++i) {
    Ref<TList> next = NewList();
    tail->PushBack(Ref<TObject>(next));
    tail = next;
  }
  EXPECT_THROW(out->WriteSerialized(head.Get()), TStreamWriteError);
}

TEST_F(DataStreamTest, ManyObjectsGrowTheObjectTable) {
  Ref<TList> list = NewList();
  for (int i = 0; i < 600; ++i) list->PushBack(Ref<TObject>(NewList()));
  list->PushBack(list->ItemAt(599));
  out->WriteSerialized(list.Get());
  auto read = RefCast<TList>(Reader(sink->data)->ReadSerialized());
  ASSERT_TRUE(read);
  ASSERT_EQ(read->Length(), 601);
  EXPECT_EQ(read->ItemAt(600).Get(), read->ItemAt(599).Get());
  EXPECT_NE(read->ItemAt(598).Get(), read->ItemAt(599).Get());
}

// A hundred thousand banks, every tenth item a second reference to an earlier
// bank: each comes back with its own bytes, and shared items as one object.
TEST_F(DataStreamTest, HundredThousandObjectsWithSharedReferencesRoundTrip) {
  constexpr int kItems = 100000;
  // The bank each item stands for: a tenth of the items repeat an earlier one.
  std::vector<int> original(kItems);
  for (int i = 0; i < kItems; ++i) original[static_cast<std::size_t>(i)] = i % 10 == 9 ? original[i / 2] : i;
  std::vector<Ref<TBank>> banks(kItems);
  Ref<TList> list = NewList();
  for (int i = 0; i < kItems; ++i) {
    const int o = original[static_cast<std::size_t>(i)];
    if (o == i) {
      banks[static_cast<std::size_t>(i)] = NewBank(4);
      std::memcpy(BankAddress(banks[static_cast<std::size_t>(i)].Get()), &i, 4);
    }
    list->PushBack(Ref<TObject>(banks[static_cast<std::size_t>(o)]));
  }
  out->WriteSerialized(list.Get());
  EXPECT_EQ(out->ObjectCount(), 1 + kItems - kItems / 10);
  auto read = RefCast<TList>(Reader(sink->data)->ReadSerialized());
  ASSERT_TRUE(read);
  ASSERT_EQ(read->Length(), kItems);
  std::vector<TObject*> items;
  for (auto cursor = read->Cursor(); cursor->HasMore();) items.push_back(cursor->NextItem().Get());
  int wrongBytes = 0, unshared = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    auto* bank = As<TBank>(items[i]);
    int value = -1;
    if (bank && BankLength(bank) == 4) std::memcpy(&value, BankAddress(bank), 4);
    if (value != original[i]) ++wrongBytes;
    if (items[i] != items[static_cast<std::size_t>(original[i])]) ++unshared;
  }
  EXPECT_EQ(wrongBytes, 0);
  EXPECT_EQ(unshared, 0);
}

// An object the stream has written stays known to it even when the caller lets
// it go, so a new object made at the same address is written whole, not as a
// reference to the old one.
TEST_F(DataStreamTest, ObjectsWrittenEarlierAreNotConfusedWithLaterOnesAtTheirAddress) {
  out->WriteSerialized(NewBank(4).Get());
  ReclaimMemory();
  std::vector<Ref<TBank>> later;
  for (int i = 0; i < 64; ++i) {
    later.push_back(NewBank(4));
    out->WriteSerialized(later.back().Get());
  }
  EXPECT_EQ(out->ObjectCount(), 65);
}

// Data types made up for the type-limit test; each registers itself for good.
class TNumberedType final : public TDataType {
 public:
  explicit TNumberedType(int n) : name_(String("Test.Numbered.") + String::OfInt(n)) {}
  String TypeName() override { return name_; }
  Ref<TObject> ReadData(TStreamBase*) override { return nullptr; }
  void WriteData(TObject*, TStreamBase*) override {}

 private:
  String name_;
};

class TNumbered final : public TSerializable {
 public:
  explicit TNumbered(TDataType* type) : type_(type) {}
  Ref<TDataType> DataTypeOf() override { return type_; }

 private:
  Ref<TDataType> type_;
};

TEST_F(DataStreamTest, TheTwoHundredFiftyFifthTypeIsRefusedAndStaysRefused) {
  std::vector<Ref<TDataType>> types;
  std::vector<Ref<TObject>> objects;
  for (int i = 0; i < 256; ++i) {
    types.push_back(Ref<TDataType>(new TNumberedType(i)));
    objects.push_back(Ref<TObject>(new TNumbered(types.back().Get())));
  }
  for (int i = 0; i < 254; ++i) out->WriteSerialized(objects[i].Get());
  EXPECT_EQ(out->TypeCount(), 254);
  for (int attempt = 254; attempt < 256; ++attempt) {
    try {
      out->WriteSerialized(objects[attempt].Get());
      FAIL() << "type " << attempt << " accepted";
    } catch (const TRuntimeError& e) {
      EXPECT_STREQ(e.what(), "Too many DataTypes");
    }
  }
  // Known types still go out under their identifiers.
  std::size_t before = sink->data.size();
  Ref<TObject> another = new TNumbered(types[3].Get());
  out->WriteSerialized(another.Get());
  ASSERT_EQ(sink->data.size(), before + 1);
  EXPECT_EQ(sink->data.back(), 4);
}

// An item whose writing changes the list it lies in, as a program's own data
// type may: it adds a bank at the end, or takes the last item out.
class TListChangingType final : public TDataType {
 public:
  String TypeName() override { return "Test.ListChanging"_s; }
  Ref<TObject> ReadData(TStreamBase*) override;
  void WriteData(TObject* object, TStreamBase*) override;
};

class TListChanging final : public TSerializable {
 public:
  TListChanging(TDataType* type, TList* list, bool grow) : type_(type), list_(list), grow_(grow) {}
  Ref<TDataType> DataTypeOf() override { return type_; }

 private:
  friend class TListChangingType;
  Ref<TDataType> type_;
  TList* list_;  // not counted: the list holds this item
  bool grow_;
};

Ref<TObject> TListChangingType::ReadData(TStreamBase*) { return new TListChanging(this, nullptr, false); }

void TListChangingType::WriteData(TObject* object, TStreamBase*) {
  auto* item = static_cast<TListChanging*>(object);
  if (!item->list_) return;
  if (item->grow_) {
    item->list_->PushBack(Ref<TObject>(NewBank(1)));
  } else {
    item->list_->PopBack();
  }
}

Ref<TBank> OneByteBank(std::uint8_t value) {
  Ref<TBank> bank = NewBank(1);
  BankAddress(bank.Get())[0] = value;
  return bank;
}

// A list is written as its count and then that many items, so what follows it
// in the stream stays readable when writing an item changes the list: items
// added meanwhile are left out, and an item taken out before its turn comes
// back as the null object.
TEST_F(DataStreamTest, AListChangedWhileItsItemsAreWrittenKeepsTheStreamReadable) {
  InitBanks();
  Ref<TDataType> type = new TListChangingType();
  for (bool grow : {true, false}) {
    SCOPED_TRACE(grow ? "an item added" : "an item taken out");
    Ref<TByteSink> bytes = new TByteSink();
    Ref<TDataStream> writer = TDataStream::Create(bytes.Get());
    Ref<TList> list = NewList();
    list->PushBack(Ref<TObject>(new TListChanging(type.Get(), list.Get(), grow)));
    list->PushBack(Ref<TObject>(OneByteBank(7)));
    list->PushBack(Ref<TObject>(OneByteBank(8)));
    writer->WriteSerialized(list.Get());
    writer->WriteSerialized(OneByteBank(42).Get());

    Ref<TDataStream> in = Reader(bytes->data);
    auto read = RefCast<TList>(in->ReadSerialized());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->Length(), 3);
    EXPECT_TRUE(RefCast<TListChanging>(read->ItemAt(0)));
    auto second = RefCast<TBank>(read->ItemAt(1));
    ASSERT_TRUE(second);
    EXPECT_EQ(BankAddress(second.Get())[0], 7);
    auto third = RefCast<TBank>(read->Back());
    if (grow) {
      ASSERT_TRUE(third);
      EXPECT_EQ(BankAddress(third.Get())[0], 8);
    } else {
      EXPECT_FALSE(read->Back());
    }
    auto marker = RefCast<TBank>(in->ReadSerialized());
    ASSERT_TRUE(marker);
    EXPECT_EQ(BankAddress(marker.Get())[0], 42);
    EXPECT_TRUE(reading->AtEnd());
  }
}

// Every strict prefix of a whole stream must raise: a stream cut short is
// never read as a smaller object. `wrap` puts the reading filter (a text
// stream) over the bytes, or leaves them as they are.
template <class Wrap>
void ExpectEveryPrefixRaises(const Bytes& whole, Wrap wrap, const char* what) {
  {
    Ref<TByteSink> bytes = new TByteSink(whole);
    Ref<TDataStream> in = TDataStream::Create(wrap(bytes.Get()).Get());
    ASSERT_TRUE(in->ReadSerialized()) << what;
    ASSERT_TRUE(bytes->AtEnd()) << what;
  }
  for (std::size_t length = 0; length < whole.size(); ++length) {
    Ref<TByteSink> bytes = new TByteSink(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    Ref<TDataStream> in = TDataStream::Create(wrap(bytes.Get()).Get());
    EXPECT_THROW(in->ReadSerialized(), TRuntimeError) << what << " cut to " << length << " of " << whole.size();
  }
}

Ref<TByteStream> AsStored(TByteStream* bytes) { return Ref<TByteStream>(bytes); }

TEST_F(DataStreamTest, EveryCutShortStreamRaises) {
  InitVex2D();
  InitBanks();
  Ref<TPixmap> pixmap = SmallPixmap();
  Ref<TList> inner = NewList();
  inner->PushBack(Ref<TObject>(pixmap));
  inner->PushBack(nullptr);
  Ref<TList> outer = NewList();
  outer->PushBack(Ref<TObject>(inner));
  outer->PushBack(Ref<TObject>(pixmap));
  outer->PushBack(Ref<TObject>(NewList()));
  Ref<TBank> bank = TBank::Create(5);
  for (int i = 0; i < 5; ++i) bank->BankAddress()[i] = static_cast<std::uint8_t>(i + 1);
  outer->PushBack(Ref<TObject>(bank));
  Ref<TImage> image = new TImage();
  image->pixmaps = NewArray<Ref<TPixmap>>(2);
  (*image->pixmaps)[1] = pixmap;
  outer->PushBack(Ref<TObject>(image));

  Ref<TList> empty = NewList();
  const std::pair<const char*, TObject*> cases[] = {
      {"empty list", empty.Get()}, {"pixmap", pixmap.Get()}, {"bank", bank.Get()}, {"nested lists", outer.Get()}};
  for (const auto& [what, object] : cases) {
    Ref<TByteSink> stored = new TByteSink();
    TDataStream::Create(stored.Get())->WriteSerialized(object);
    ExpectEveryPrefixRaises(stored->data, AsStored, what);
  }
}

TEST_F(DataStreamTest, EveryCutShortTextStreamRaises) {
  Ref<TList> inner = NewList();
  inner->PushBack(Ref<TObject>(NewList()));
  inner->PushBack(nullptr);
  Ref<TList> outer = NewList();
  outer->PushBack(Ref<TObject>(inner));
  outer->PushBack(Ref<TObject>(inner));
  outer->PushBack(Ref<TObject>(SmallPixmap()));
  for (int encoding : {EncodingUtf8, EncodingUtf16LE, EncodingUtf16BE}) {
    auto text = [encoding](TByteStream* bytes) { return Ref<TByteStream>(TCharsetStream::Create(bytes, encoding)); };
    Ref<TList> empty = NewList();
    for (TObject* object : {static_cast<TObject*>(empty.Get()), static_cast<TObject*>(outer.Get())}) {
      Ref<TByteSink> stored = new TByteSink();
      TDataStream::Create(text(stored.Get()).Get())->WriteSerialized(object);
      ExpectEveryPrefixRaises(stored->data, text, "text stream");
    }
  }
}

class DataUrlTest : public DataStreamTest {
 protected:
  void SetUp() override {
    DataStreamTest::SetUp();
    char pattern[] = "/tmp/corvex-data-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::remove((dir + "/objects.bin").c_str());
    rmdir(dir.c_str());
  }
  std::string dir;
};

TEST_F(DataUrlTest, DataProtocolWritesAndReadsFiles) {
  String url = String("data::") + String(dir + "/objects.bin");
  Ref<TList> list = NewList();
  list->PushBack(Ref<TObject>(SmallPixmap()));
  list->PushBack(list->Front());
  UrlSaveObject(list.Get(), url);
  auto read = RefCast<TList>(UrlLoadObject(url));
  ASSERT_TRUE(read);
  ASSERT_EQ(read->Length(), 2);
  EXPECT_EQ(read->Front().Get(), read->Back().Get());
  EXPECT_TRUE(RefCast<TPixmap>(read->Front()));

  EXPECT_FALSE(OpenUrlForReading(String("data::") + String(dir + "/missing.bin")));
  EXPECT_FALSE(UrlLoadObject(String("DATA::") + String(dir + "/missing.bin")));
  try {
    OpenUrlStream(url, 1, 1);
    FAIL() << "opened both ways";
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "DataStreams can not be both readable and writeable");
  }
  Ref<TByteStream> plain = OpenUrlForReading(url);
  ASSERT_TRUE(plain);
  EXPECT_TRUE(RefCast<TDataStream>(plain));
  plain->Close();
}

}  // namespace
}  // namespace cvx
