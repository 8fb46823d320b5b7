/// @file
/// Serialisable objects and their data types. A data type knows its class's
/// type name and how to write and read one object's body; the data streams
/// frame the bodies. Constructing a data type links it in at the head of the
/// global registry list.
#pragma once

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/object.h"
#include "corvex/runtime/string.h"

namespace cvx {

class TStreamBase;
class TDataType;

/// An object that data streams can write and read (TDataStream).
class TSerializable : public TObject {
 public:
  /// The data type that writes and reads objects of this class (never null).
  virtual Ref<TDataType> DataTypeOf() = 0;
};

/// Writes and reads the body of one class's objects in a data stream, under the
/// class's type name.
class TDataType : public TObject {
 public:
  TDataType();  ///< links this type in at the head of the registry

  /// The class's type name, as stored in a data stream ("CVX.LinkedList.TList").
  virtual String TypeName() = 0;
  /// Reads one object's body; raises TStreamReadError or TRuntimeError for a body
  /// it cannot read.
  virtual Ref<TObject> ReadData(TStreamBase* stream) = 0;
  /// Writes object's body; raises TStreamWriteError when the stream cannot take it.
  virtual void WriteData(TObject* object, TStreamBase* stream) = 0;
  /// Run once the whole graph around a read object has been read (to resolve
  /// references to objects read later); the base class does nothing.
  virtual void AfterRead(TObject* object, TStreamBase* stream);

  /// The next (older) data type in the registry list.
  TDataType* Next() const noexcept { return next_.Get(); }

 private:
  Ref<TDataType> next_;
};

/// The newest registered data type (the head of the registry list), or nullptr.
TDataType* FirstDataType() noexcept;
/// The first data type from the head whose name is exactly name, or nullptr.
TDataType* FindDataType(const String& name);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
