// Data streams: object graphs written to and read from a stream.
//
// Each object reference is framed by one byte:
//   0          the null object (or an object that is not a TSerializable)
//   1 .. 254   a new object of the type with that identifier; the first time an
//              identifier occurs its type name follows as a text line, then the
//              object's body as its data type writes it
//   255        a back-reference: the 32-bit number of an object already seen
// Objects are numbered from 1 in order of first appearance, the same way when
// writing and reading, so an object shared by several holders is written once.
// A data stream is used in one direction only; every other operation passes
// through to the stream underneath. Open one with "data::<url>".
#pragma once

#include <cstdint>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/array.h"
#include "corvex/runtime/keyedmap.h"
#include "corvex/runtime/serializable.h"
#include "corvex/stream/stream.h"

namespace cvx {

class TDataStream : public TStreamRelay {
 public:
  explicit TDataStream(TByteStream* inner);

  // Reads one object reference. Bad data raises: an unknown type name gives
  // "Unrecognized DataType: <name>", a reference where the data has ended, a
  // back-reference number outside the objects read so far, or nesting deeper
  // than MaxNesting gives TStreamReadError.
  Ref<TObject> ReadSerialized() override;
  // Writes one object reference; the 255th distinct type raises
  // "Too many DataTypes" (and so does every new type after it).
  void WriteSerialized(TObject* object) override;

  // A data stream over stream (null for a null stream).
  static Ref<TDataStream> Create(TByteStream* stream);

  std::int32_t ObjectCount() const noexcept { return objectCount_; }
  std::int32_t TypeCount() const noexcept { return typeCount_; }

  // Bodies may hold references (a list's items), so reading and writing
  // recurse; a corrupt stream must not be able to exhaust the machine stack.
  static constexpr int MaxNesting = 1000;

 private:
  std::int32_t objectCount_ = 0;
  std::int32_t typeCount_ = 0;
  Array<Ref<TObject>> objects_;
  Array<Ref<TDataType>> types_;
  Ref<TKeyedMap> objectIds_;
  Ref<TKeyedMap> typeIds_;
  int depth_ = 0;
};

Ref<TDataStream> CreateDataStream(TByteStream* stream);

// The data streams: the "data" url opener and the list's stream body.
void InitDataStreams();

}  // namespace cvx

#include "corvex/runtime/api_end.h"
