/// @file
/// Data streams: object graphs written to and read from a stream.
///
/// Each object reference is framed by one byte:
///   0          the null object (or an object that is not a TSerializable)
///   1 .. 254   a new object of the type with that identifier; the first time an
///              identifier occurs its type name follows as a text line, then the
///              object's body as its data type writes it
///   255        a back-reference: the 32-bit number of an object already seen
/// Objects are numbered from 1 in order of first appearance, the same way when
/// writing and reading, so an object shared by several holders is written once.
/// A data stream is used in one direction only; every other operation passes
/// through to the stream underneath. Open one with "data::<url>".
///
/// Reading is strict where the streams underneath are lenient: a value that the
/// data ends before or inside of raises TStreamReadError instead of reading as
/// zero, so a stream cut anywhere short gives an error, never a partial object.
/// A value cut inside can only be told from a whole one where the stream
/// underneath has positions: a socket cut inside its last value is not caught.
/// Text streams end their numbers and lines at the end of the data, so there a
/// line must keep its line end; their raw bytes (hexadecimal digit pairs) are
/// checked for the digits the bytes need, not for the pairs' line ends.
#pragma once

#include <cstdint>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/serializable.h"
#include "corvex/stream/addressnumbers.h"
#include "corvex/stream/stream.h"

namespace cvx {

/// A stream that writes and reads whole object graphs (see the file comment).
class TDataStream : public TStreamRelay {
 public:
  /// A data stream over inner (Create is the usual way).
  explicit TDataStream(TByteStream* inner);

  /// Reads one object reference. Bad data raises: an unknown type name gives
  /// "Unrecognized DataType: <name>", a reference where the data has ended, a
  /// back-reference number outside the objects read so far, or nesting deeper
  /// than MaxNesting gives TStreamReadError.
  Ref<TObject> ReadSerialized() override;
  /// Writes one object reference; the 255th distinct type raises
  /// "Too many DataTypes" (and so does every new type after it).
  void WriteSerialized(TObject* object) override;

  /// The strict reads; each raises TStreamReadError where the data ends short.
  std::int32_t ReadExact(void* buffer, std::int32_t count) override;
  std::int32_t SkipExact(std::int32_t count) override;
  int ReadUInt8() override;
  int ReadUInt16() override;
  std::int32_t ReadInt32() override;
  float ReadFloat32() override;
  double ReadFloat64() override;
  String ReadTextLine() override;
  String ReadText(std::int32_t length) override;

  /// A data stream over stream (null for a null stream).
  static Ref<TDataStream> Create(TByteStream* stream);

  /// @{
  /// The objects and the data types met so far in this stream.
  std::int32_t ObjectCount() const noexcept { return objectCount_; }
  std::int32_t TypeCount() const noexcept { return typeCount_; }
  /// @}

  /// Bodies may hold references (a list's items), so reading and writing
  /// recurse; a corrupt stream must not be able to exhaust the machine stack.
  static constexpr int MaxNesting = 1000;

 private:
  /// Writes the type's id, and its name the first time.
  void WriteTypeId(const Ref<TDataType>& type);

  std::int32_t objectCount_ = 0;
  std::int32_t typeCount_ = 0;
  /// The reader's objects by number. Growing moves the references without
  /// touching the objects: a copy would retain and later release every one,
  /// a pass over the whole graph (and its cache misses) per doubling.
  std::vector<Ref<TObject>> objects_;
  Array<Ref<TDataType>> types_;
  /// The writer's numbers by object address, and the objects themselves, held
  /// so that no address is reused by a new object while the stream lives.
  detail::AddressNumbers objectIds_;
  std::vector<Ref<TObject>> written_;
  /// The class of the last object found serialisable: a graph's objects are
  /// mostly of a few classes, and the exact class answers before a cast walks
  /// the class tree.
  const std::type_info* lastSerializableClass_ = nullptr;
  /// The writer's type ids by type name, and by the type objects seen so far
  /// (held, like the objects written).
  std::unordered_map<std::u16string, std::int32_t> typeIds_;
  std::unordered_map<const TDataType*, std::int32_t> typeIdsByObject_;
  std::vector<Ref<TDataType>> typeObjects_;
  int depth_ = 0;

  /// Raises TStreamReadError unless the read that started at `before` (a
  /// position, -1 when unknown) and has met the end took what its value needs:
  /// `binaryBytes` in a binary stream (0: a text line, which must keep its end).
  void CheckWholeAtEnd(std::int32_t before, std::int32_t binaryBytes);
  template <class Value, class ReadFn>
  Value ReadWhole(std::int32_t binaryBytes, ReadFn read);
};

/// TDataStream::Create.
Ref<TDataStream> CreateDataStream(TByteStream* stream);

/// The data streams: the "data" url opener and the list's stream body.
void InitDataStreams();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
