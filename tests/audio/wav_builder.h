// Builds RIFF WAVE files in memory, field by field, so that tests can make
// both valid and damaged ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cvx::test {

class WavBuilder {
 public:
  WavBuilder(int channels, int bits, std::uint32_t hertz) : channels_(channels), bits_(bits), hertz_(hertz) {}

  WavBuilder& FormatTag(int tag) {
    tag_ = tag;
    return *this;
  }
  WavBuilder& BlockAlign(int align) {
    align_ = align;
    return *this;
  }
  // Bytes appended to the 16 standard bytes of the format chunk.
  WavBuilder& FmtExtra(std::vector<std::uint8_t> extra) {
    extra_ = std::move(extra);
    return *this;
  }
  WavBuilder& Chunk(const std::string& tag, const std::vector<std::uint8_t>& body) {
    Tag(chunks_, tag);
    U32(chunks_, static_cast<std::uint32_t>(body.size()));
    chunks_.insert(chunks_.end(), body.begin(), body.end());
    return *this;
  }
  WavBuilder& Data(const std::vector<std::uint8_t>& body) { return Chunk("data", body); }

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> fmt;
    U16(fmt, tag_);
    U16(fmt, channels_);
    U32(fmt, hertz_);
    const int frame = channels_ * bits_ / 8;
    U32(fmt, hertz_ * static_cast<std::uint32_t>(frame));
    U16(fmt, align_ >= 0 ? align_ : frame);
    U16(fmt, bits_);
    fmt.insert(fmt.end(), extra_.begin(), extra_.end());

    std::vector<std::uint8_t> out;
    Tag(out, "RIFF");
    U32(out, static_cast<std::uint32_t>(4 + 8 + fmt.size() + chunks_.size()));
    Tag(out, "WAVE");
    Tag(out, "fmt ");
    U32(out, static_cast<std::uint32_t>(fmt.size()));
    out.insert(out.end(), fmt.begin(), fmt.end());
    out.insert(out.end(), chunks_.begin(), chunks_.end());
    return out;
  }

  // n bytes that differ from their neighbours.
  static std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return bytes;
  }
  static void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }

 private:
  // Byte by byte: g++ 12 at -O3 misreads a range insert into a vector that must
  // grow as a write past its end (-Wstringop-overflow).
  static void Tag(std::vector<std::uint8_t>& out, const std::string& tag) {
    for (char c : tag) out.push_back(static_cast<std::uint8_t>(c));
  }
  static void U16(std::vector<std::uint8_t>& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  static void U32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }

  int channels_, bits_;
  std::uint32_t hertz_;
  int tag_ = 1;
  int align_ = -1;
  std::vector<std::uint8_t> extra_;
  std::vector<std::uint8_t> chunks_;
};

}  // namespace cvx::test
