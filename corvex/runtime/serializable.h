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

class TSerializable : public TObject {
 public:
  virtual Ref<TDataType> DataTypeOf() = 0;
};

class TDataType : public TObject {
 public:
  TDataType();  ///< links this type in at the head of the registry

  virtual String TypeName() = 0;
  virtual Ref<TObject> ReadData(TStreamBase* stream) = 0;
  virtual void WriteData(TObject* object, TStreamBase* stream) = 0;
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
