#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <vector>

#include "corvex/net/replication.h"

namespace cvx {
namespace {

std::vector<int> Bytes(const Array<std::uint8_t>& array) { return {array->begin(), array->end()}; }

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const TRuntimeError& error) {
    return error.what();
  }
  return "";
}

TEST(HalfPrecision, EncodesWithRoundingOverflowAndUnderflow) {
  EXPECT_EQ(FloatToHalf(1.0f), 0x3C00);
  EXPECT_EQ(FloatToHalf(-2.0f), 0xC000);
  EXPECT_EQ(FloatToHalf(0.5f), 0x3800);
  EXPECT_EQ(FloatToHalf(0.0f), 0x0000);
  EXPECT_EQ(FloatToHalf(-0.0f), 0x8000);
  EXPECT_EQ(FloatToHalf(65504.0f), 0x7BFF);
  EXPECT_EQ(FloatToHalf(65519.0f), 0x7BFF);
  EXPECT_EQ(FloatToHalf(65520.0f), 0x7C00);
  EXPECT_EQ(FloatToHalf(1e9f), 0x7C00);
  EXPECT_EQ(FloatToHalf(-1e9f), 0xFC00);
  EXPECT_EQ(FloatToHalf(std::numeric_limits<float>::infinity()), 0x7C00);
  EXPECT_EQ(FloatToHalf(-std::numeric_limits<float>::infinity()), 0xFC00);
  EXPECT_EQ(FloatToHalf(std::numeric_limits<float>::quiet_NaN()), 0xFFFF);
  // Half up at the eleventh mantissa bit, and the carry into the exponent.
  EXPECT_EQ(FloatToHalf(1.0f + std::ldexp(1.0f, -11)), 0x3C01);
  EXPECT_EQ(FloatToHalf(std::nextafter(1.0f + std::ldexp(1.0f, -11), 0.0f)), 0x3C00);
  EXPECT_EQ(FloatToHalf(std::nextafter(2.0f, 0.0f)), 0x4000);
  // Below 2^-15 everything is a signed zero.
  EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -16)), 0x0000);
  EXPECT_EQ(FloatToHalf(-std::ldexp(1.0f, -16)), 0x8000);
  EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -14)), 0x0400);
}

TEST(HalfPrecision, DecodesNormalsSubnormalsAndSpecials) {
  EXPECT_EQ(HalfToFloat(0x3C00), 1.0f);
  EXPECT_EQ(HalfToFloat(0xC000), -2.0f);
  EXPECT_EQ(HalfToFloat(0x7BFF), 65504.0f);
  EXPECT_EQ(HalfToFloat(0x7C00), std::numeric_limits<float>::infinity());
  EXPECT_EQ(HalfToFloat(0xFC00), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(HalfToFloat(0x7E00)));
  EXPECT_TRUE(std::isnan(HalfToFloat(0xFFFF)));
  EXPECT_EQ(HalfToFloat(0x0000), 0.0f);
  EXPECT_TRUE(std::signbit(HalfToFloat(0x8000)));
  EXPECT_EQ(HalfToFloat(0x0001), std::ldexp(1.0f, -24));
  EXPECT_EQ(HalfToFloat(0x0200), std::ldexp(1.0f, -15));
  EXPECT_EQ(HalfToFloat(0x83FF), -std::ldexp(1023.0f, -24));
  // The band between 2^-15 and 2^-14 travels as subnormals and comes back whole.
  for (float v : {std::ldexp(1.0f, -15), std::ldexp(1.5f, -15), -std::ldexp(1.75f, -15)}) {
    EXPECT_EQ(HalfToFloat(FloatToHalf(v)), v) << v;
  }
  // Every finite half survives a round trip through float.
  for (std::uint32_t h = 0; h < 0x10000; ++h) {
    if ((h & 0x7C00) == 0x7C00) continue;
    if ((h & 0x7FFF) != 0 && (h & 0x7FFF) < 0x0200) continue;  // below 2^-15: zero by design
    EXPECT_EQ(FloatToHalf(HalfToFloat(static_cast<std::uint16_t>(h))), h) << h;
  }
}

TEST(SlotData, EachKindHasItsExactBytes) {
  Ref<TVyrnetObject> o = TVyrnetObject::Create(1, kVyrnetCreated, nullptr, nullptr);
  o->SetInt(0, 255);
  EXPECT_EQ(Bytes(o->EncodeSlots(1u << 0)), (std::vector<int>{0x80, 255}));
  o->SetInt(1, 256);
  EXPECT_EQ(Bytes(o->EncodeSlots(1u << 1)), (std::vector<int>{0xA1, 1, 0}));
  o->SetInt(2, 65536);
  EXPECT_EQ(Bytes(o->EncodeSlots(1u << 2)), (std::vector<int>{0x22, 0, 1, 0, 0}));
  o->SetInt(3, -1);
  EXPECT_EQ(Bytes(o->EncodeSlots(1u << 3)), (std::vector<int>{0x23, 255, 255, 255, 255}));
  o->SetFloat(4, 1.0f);
  EXPECT_EQ(Bytes(o->EncodeSlots(1u << 4)), (std::vector<int>{0x44, 0x3C, 0x00}));
  o->SetText(31, "ab"_s);
  EXPECT_EQ(Bytes(o->EncodeSlots(1u << 31)), (std::vector<int>{0x7F, 0, 2, 'a', 'b'}));
  // Empty slots and slots outside the mask are left out.
  EXPECT_EQ(o->EncodeSlots(1u << 10)->Length(), 0);
  EXPECT_EQ(o->EncodeSlots(0)->Length(), 0);
  EXPECT_EQ(o->EncodeSlots(0xFFFFFFFFu)->Length(), 2 + 3 + 5 + 5 + 3 + 5);
  EXPECT_EQ(o->CloseMessage()->data->Length(), 0);
  EXPECT_EQ(o->CreateMessage()->type, kVyrnetCreated);
}

TEST(SlotData, DecodingRestoresValuesThroughTheSetters) {
  Ref<TVyrnetObject> from = TVyrnetObject::Create(1, kVyrnetCreated, nullptr, nullptr);
  from->SetInt(0, -123456);
  from->SetInt(1, 40000);
  from->SetInt(2, 7);
  from->SetFloat(3, -0.375f);
  from->SetText(4, "Vyrnet"_s);
  Ref<TVyrnetObject> to = TVyrnetObject::Create(2, kVyrnetSynced, nullptr, nullptr);
  Array<std::uint8_t> data = from->EncodeSlots(0xFFFFFFFFu);
  EXPECT_TRUE(ValidSlotData(data.Get()));
  to->DecodeSlots(data.Get());
  EXPECT_EQ(to->GetInt(0), -123456);
  EXPECT_EQ(to->GetInt(1), 40000);
  EXPECT_EQ(to->GetInt(2), 7);
  EXPECT_EQ(to->GetFloat(3), -0.375f);
  EXPECT_EQ(to->GetText(4).ToStd(), "Vyrnet");
  EXPECT_EQ(to->ModifiedMask(), 0x1Fu);
  EXPECT_EQ(to->State(), kVyrnetModified);
}

TEST(SlotData, BadDataRaisesWithoutReadingPastTheBytes) {
  Ref<TVyrnetObject> o = TVyrnetObject::Create(1, kVyrnetSynced, nullptr, nullptr);
  auto decode = [&](std::vector<std::uint8_t> bytes) {
    Array<std::uint8_t> array = NewArray<std::uint8_t>(static_cast<std::int32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), array->begin());
    bool valid = ValidSlotData(array.Get());
    std::string error = ErrorText([&] { o->DecodeSlots(array.Get()); });
    EXPECT_EQ(valid, error.empty()) << error;
    return error;
  };
  EXPECT_EQ(decode({0x20, 1, 2, 3}), "Corrupt Vyrnet message");    // int32 cut short
  EXPECT_EQ(decode({0x60, 0, 5, 'a'}), "Corrupt Vyrnet message");  // text longer than the data
  EXPECT_EQ(decode({0x60, 0}), "Corrupt Vyrnet message");          // text length cut short
  EXPECT_EQ(decode({0x80, 1, 0x40}), "Corrupt Vyrnet message");    // real cut short
  EXPECT_EQ(decode({0x05}), "Invalid Vyrnet data type");           // kind 0
  EXPECT_EQ(decode({0xC0, 1}), "Invalid Vyrnet data type");        // kind 6
  EXPECT_EQ(decode({0xE0}), "Invalid Vyrnet data type");           // kind 7
  EXPECT_EQ(decode({}), "");
  EXPECT_EQ(decode({0x60, 0, 0, 0x81, 9}), "");
  EXPECT_EQ(o->GetInt(1), 9);
}

TEST(SlotData, EncodingLimits) {
  Ref<TVyrnetObject> o = TVyrnetObject::Create(1, kVyrnetCreated, nullptr, nullptr);
  o->SetText(0, String(std::string(kVyrnetMaxData - 3, 'x')));
  EXPECT_EQ(o->EncodeSlots(1)->Length(), kVyrnetMaxData);
  o->SetInt(1, 1);
  EXPECT_EQ(ErrorText([&] { o->EncodeSlots(3); }), "Vyrnet message data too large");
  o->Slot(2)->ForceKind(6);
  EXPECT_EQ(ErrorText([&] { o->EncodeSlots(4); }), "Invalid Vyrnet data type");
  // The slot index is checked, not wrapped.
  EXPECT_THROW(o->SetInt(32, 1), TRuntimeError);
}

TEST(ObjectStates, CloseAndSyncMoveThroughTheLifecycle) {
  Ref<TVyrnetObject> o = TVyrnetObject::Create(5, kVyrnetCreated, nullptr, nullptr);
  o->SetInt(0, 1);
  Ref<TVyrnetMessage> created = o->BuildSyncMessage();
  ASSERT_TRUE(created);
  EXPECT_EQ(created->type, kVyrnetCreated);
  EXPECT_EQ(created->id, 5);
  EXPECT_EQ(o->State(), kVyrnetSynced);
  EXPECT_FALSE(o->BuildSyncMessage());
  o->SetInt(1, 300);
  EXPECT_EQ(o->State(), kVyrnetModified);
  Ref<TVyrnetMessage> modified = o->BuildSyncMessage();
  EXPECT_EQ(modified->type, kVyrnetModified);
  EXPECT_EQ(Bytes(modified->data), (std::vector<int>{0xA1, 1, 44}));  // only the changed slot
  o->SetUserReference("user"_s);
  o->Close();
  EXPECT_EQ(o->State(), kVyrnetClosing);
  o->Close();
  EXPECT_EQ(o->State(), kVyrnetClosing);
  Ref<TVyrnetMessage> closing = o->BuildSyncMessage();
  EXPECT_EQ(closing->type, kVyrnetClosing);
  EXPECT_EQ(o->State(), kVyrnetGone);
  EXPECT_FALSE(o->UserReference());
  EXPECT_EQ(ErrorText([&] { o->Close(); }), "Illegal object state");

  Ref<TVyrnetObject> early = TVyrnetObject::Create(6, kVyrnetCreated, nullptr, nullptr);
  early->Close();
  EXPECT_EQ(early->State(), kVyrnetGone);
  EXPECT_FALSE(early->BuildSyncMessage());
  Ref<TVyrnetObject> message = TVyrnetObject::Create(0, kVyrnetMessageObject, nullptr, nullptr);
  EXPECT_EQ(ErrorText([&] { message->Close(); }), "Illegal object state");
  EXPECT_EQ(message->TargetedMessage(77)->id, 77);
}

TEST(NullArguments, RaiseTheNullObjectError) {
  const std::string nullError = "Attempt to access field or method of Null object";
  Ref<TVyrnetObject> o = TVyrnetObject::Create(5, kVyrnetCreated, nullptr, nullptr);
  EXPECT_EQ(ErrorText([&] { o->ApplyMessage(nullptr); }), nullError);
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  Ref<TVyrnetPeer> peer = TVyrnetPeer::Create(TNetSocket::FromHandle(ends[0], 1).Get(), nullptr);
  EXPECT_EQ(ErrorText([&] { peer->SendMessage(nullptr); }), nullError);
  Ref<TVyrnetHost> host = TVyrnetHost::Create();
  EXPECT_EQ(ErrorText([&] { host->Broadcast(nullptr, nullptr); }), nullError);
  peer->Close();
  close(ends[1]);
}

}  // namespace
}  // namespace cvx
