#include "corvex/runtime/serializable.h"

namespace cvx {
namespace {
// Head of the registry list; data types live until the program ends.
Ref<TDataType> registryHead;
}  // namespace

TDataType::TDataType() : next_(registryHead) { registryHead = this; }

void TDataType::AfterRead(TObject*, TStreamBase*) {}

TDataType* FirstDataType() noexcept { return registryHead.Get(); }

TDataType* FindDataType(const String& name) {
  for (TDataType* type = registryHead.Get(); type; type = type->Next()) {
    if (type->TypeName() == name) return type;
  }
  return nullptr;
}

}  // namespace cvx
