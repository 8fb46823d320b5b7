// Half-precision reals, slots, messages and the replicated object.
#include <cmath>
#include <cstring>

#include "corvex/net/replication.h"

namespace cvx {

std::uint16_t FloatToHalf(float value) {
  std::uint32_t f;
  std::memcpy(&f, &value, sizeof f);
  if (f == 0) return 0x0000;
  if (f == 0x80000000u) return 0x8000;
  std::uint32_t m = f << 9;
  int e = static_cast<int>((f >> 23) & 255) - 127;
  std::uint32_t s = (f >> 31) * 0x8000u;
  if (e == 128) return m != 0 ? 0xFFFF : static_cast<std::uint16_t>(s + 0x7C00);
  m += 0x200000;
  if ((m & 0xFFE00000u) == 0) e += 1;
  if (e > 15) return static_cast<std::uint16_t>(s + 0x7C00);
  if (e < -15) return static_cast<std::uint16_t>(s);
  if (e == -15) {
    // Below the smallest normal half (2^-14): a subnormal counts units of 2^-24.
    auto units = static_cast<std::uint32_t>(std::fabs(value) * 16777216.0f + 0.5f);
    return static_cast<std::uint16_t>(s + units);
  }
  return static_cast<std::uint16_t>(s + static_cast<std::uint32_t>(e + 15) * 1024 + (m >> 22));
}

float HalfToFloat(std::uint16_t half) {
  std::uint32_t sign = static_cast<std::uint32_t>(half & 0x8000) << 16;
  int field = (half >> 10) & 31;
  std::uint32_t mantissa = half & 1023;
  std::uint32_t bits;
  if ((half & 0x7FFF) == 0) {
    bits = sign;
  } else if (field == 31) {
    bits = sign | 0x7F800000u | (mantissa ? 0x400000u : 0u);
  } else if (field == 0) {
    // Subnormal: normalise, the exponent falling from that of the smallest normal.
    int e = -14;
    while ((mantissa & 0x400) == 0) {
      mantissa <<= 1;
      --e;
    }
    bits = sign | static_cast<std::uint32_t>(e + 127) << 23 | (mantissa & 1023) << 13;
  } else {
    bits = sign | static_cast<std::uint32_t>(field - 15 + 127) << 23 | mantissa << 13;
  }
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// ---- Slots and messages ------------------------------------------------------------

void TVyrnetSlot::SetIntValue(std::int32_t value) {
  intValue_ = value;
  if (value < 0)
    kind_ = kSlotInt32;
  else if (value < 256)
    kind_ = kSlotInt8;
  else if (value > 65535)
    kind_ = kSlotInt32;
  else
    kind_ = kSlotInt16;
}

void TVyrnetSlot::SetFloatValue(float value) {
  floatValue_ = value;
  kind_ = kSlotReal;
}

void TVyrnetSlot::SetTextValue(const String& text) {
  textValue_ = text;
  kind_ = kSlotText;
}

TVyrnetMessage::TVyrnetMessage(int id, int type, Array<std::uint8_t> data)
    : id(id), type(type), data(data ? std::move(data) : NewArray<std::uint8_t>(0)) {}

// ---- Slot data ----------------------------------------------------------------------

namespace {

// Bytes an entry of this kind takes after its first byte, given the bytes that
// follow it; -1 when the kind has no encoding or the entry runs past the end.
std::int32_t EntryBody(int kind, const std::uint8_t* rest, std::int32_t left) {
  std::int32_t body;
  switch (kind) {
    case kSlotInt32:
      body = 4;
      break;
    case kSlotReal:
      body = 2;
      break;
    case kSlotInt16:
      body = 2;
      break;
    case kSlotInt8:
      body = 1;
      break;
    case kSlotText:
      if (left < 2) return -1;
      body = 2 + (rest[0] << 8 | rest[1]);
      break;
    default:
      return -1;
  }
  return body <= left ? body : -1;
}

std::int32_t SlotEntrySize(TVyrnetSlot* slot) {
  switch (slot->Kind()) {
    case kSlotInt32:
      return 5;
    case kSlotReal:
      return 3;
    case kSlotText:
      return slot->TextValue().Length() + 3;
    case kSlotInt8:
      return 2;
    case kSlotInt16:
      return 3;
    default:
      Throw("Invalid Vyrnet data type"_s);
  }
}

}  // namespace

bool ValidSlotData(TArray<std::uint8_t>* bytes) {
  if (!bytes) return true;
  const std::uint8_t* at = bytes->Data();
  std::int32_t left = bytes->Length();
  while (left > 0) {
    std::int32_t body = EntryBody(at[0] >> 5, at + 1, left - 1);
    if (body < 0) return false;
    at += 1 + body;
    left -= 1 + body;
  }
  return true;
}

// ---- TVyrnetObject ----------------------------------------------------------------------

Ref<TVyrnetObject> TVyrnetObject::Create(int id, int state, TVyrnetHost* host, TVyrnetPeer* owner) {
  Ref<TVyrnetObject> object = new TVyrnetObject();
  object->id_ = id;
  object->state_ = state;
  object->host_ = host;
  object->owner_ = owner;
  object->slots_ = NewArray<Ref<TVyrnetSlot>>(kVyrnetSlots);
  for (auto& slot : *object->slots_) slot = new TVyrnetSlot();
  return object;
}

void TVyrnetObject::Close() {
  switch (state_) {
    case kVyrnetCreated:
      state_ = kVyrnetGone;
      break;
    case kVyrnetClosing:
      break;
    case kVyrnetModified:
    case kVyrnetSynced:
      state_ = kVyrnetClosing;
      break;
    default:
      Throw("Illegal object state"_s);
  }
}

Ref<TVyrnetSlot> TVyrnetObject::WriteSlot(int index) {
  Ref<TVyrnetSlot> slot = slots_[index];
  mask_ |= 1u << (index & 31);
  if (state_ == kVyrnetSynced) state_ = kVyrnetModified;
  return slot;
}

void TVyrnetObject::SetInt(int index, std::int32_t value) { WriteSlot(index)->SetIntValue(value); }
void TVyrnetObject::SetFloat(int index, float value) { WriteSlot(index)->SetFloatValue(value); }
void TVyrnetObject::SetText(int index, const String& text) { WriteSlot(index)->SetTextValue(text); }
std::int32_t TVyrnetObject::GetInt(int index) { return slots_[index]->IntValue(); }
float TVyrnetObject::GetFloat(int index) { return slots_[index]->FloatValue(); }
String TVyrnetObject::GetText(int index) { return slots_[index]->TextValue(); }

Ref<TVyrnetMessage> TVyrnetObject::BuildSyncMessage() {
  if (state_ == kVyrnetSynced || state_ == kVyrnetGone) return nullptr;
  Ref<TVyrnetMessage> message;
  if (!owner_) message = new TVyrnetMessage(id_, state_, EncodeSlots(mask_));
  mask_ = 0;
  if (state_ == kVyrnetCreated || state_ == kVyrnetModified) {
    state_ = kVyrnetSynced;
  } else if (state_ == kVyrnetClosing) {
    user_ = nullptr;
    state_ = kVyrnetGone;
  }
  return message;
}

void TVyrnetObject::ApplyMessage(TVyrnetMessage* message) {
  if (!message) ThrowNullObjectError();
  DecodeSlots(message->data.Get());
  state_ = message->type;
}

Ref<TVyrnetMessage> TVyrnetObject::CreateMessage() {
  return new TVyrnetMessage(id_, kVyrnetCreated, EncodeSlots(0xFFFFFFFFu));
}
Ref<TVyrnetMessage> TVyrnetObject::CloseMessage() { return new TVyrnetMessage(id_, kVyrnetClosing, EncodeSlots(0)); }
Ref<TVyrnetMessage> TVyrnetObject::TargetedMessage(int targetId) {
  return new TVyrnetMessage(targetId, kVyrnetMessageObject, EncodeSlots(0xFFFFFFFFu));
}

Array<std::uint8_t> TVyrnetObject::EncodeSlots(std::uint32_t mask) {
  std::int32_t total = 0;
  for (int i = 0; i < kVyrnetSlots; ++i) {
    TVyrnetSlot* slot = slots_[i].Get();
    if ((mask >> i & 1) == 0 || slot->Kind() == kSlotEmpty) continue;
    total += SlotEntrySize(slot);
    if (total > kVyrnetMaxData) Throw("Vyrnet message data too large"_s);
  }
  Array<std::uint8_t> bytes = NewArray<std::uint8_t>(total);
  std::uint8_t* at = bytes->Data();
  auto put16 = [&at](std::uint32_t v) {
    *at++ = static_cast<std::uint8_t>(v >> 8);
    *at++ = static_cast<std::uint8_t>(v);
  };
  for (int i = 0; i < kVyrnetSlots; ++i) {
    TVyrnetSlot* slot = slots_[i].Get();
    int kind = slot->Kind();
    if ((mask >> i & 1) == 0 || kind == kSlotEmpty) continue;
    *at++ = static_cast<std::uint8_t>(kind << 5 | i);
    auto v = static_cast<std::uint32_t>(slot->IntValue());
    switch (kind) {
      case kSlotInt32:
        put16(v >> 16);
        put16(v);
        break;
      case kSlotReal:
        put16(FloatToHalf(slot->FloatValue()));
        break;
      case kSlotText: {
        String text = slot->TextValue();
        put16(static_cast<std::uint32_t>(text.Length()));
        for (std::int32_t c = 0; c < text.Length(); ++c) *at++ = static_cast<std::uint8_t>(text[c]);
        break;
      }
      case kSlotInt8:
        *at++ = static_cast<std::uint8_t>(v);
        break;
      case kSlotInt16:
        put16(v);
        break;
    }
  }
  return bytes;
}

void TVyrnetObject::DecodeSlots(TArray<std::uint8_t>* bytes) {
  if (!bytes) return;
  const std::uint8_t* data = bytes->Data();
  std::int32_t length = bytes->Length();
  std::int32_t at = 0;
  while (at < length) {
    int kind = data[at] >> 5;
    int index = data[at] & 31;
    std::int32_t body = EntryBody(kind, data + at + 1, length - at - 1);
    if (kind == kSlotEmpty || kind > kSlotInt16) Throw("Invalid Vyrnet data type"_s);
    if (body < 0) Throw("Corrupt Vyrnet message"_s);
    const std::uint8_t* b = data + at + 1;
    switch (kind) {
      case kSlotInt32:
        SetInt(index,
               static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]));
        break;
      case kSlotInt8:
        SetInt(index, b[0]);
        break;
      case kSlotInt16:
        SetInt(index, b[0] << 8 | b[1]);
        break;
      case kSlotReal:
        SetFloat(index, HalfToFloat(static_cast<std::uint16_t>(b[0] << 8 | b[1])));
        break;
      case kSlotText:
        SetText(index, String::OfBytes(b + 2, body - 2));
        break;
    }
    at += 1 + body;
  }
}

}  // namespace cvx
