#include "corvex/runtime/error.h"

namespace cvx {

void ThrowNullObjectError() { throw TRuntimeError("Attempt to access field or method of Null object"); }
void ThrowAbstractMethodError() { throw TRuntimeError("Attempt to call abstract method"); }
void ThrowArrayIndexError() { throw TRuntimeError("Attempt to index array element beyond array length"); }
void ThrowEndOfDataError() { throw TRuntimeError("Attempt to read beyond end of data"); }
void ThrowUninitializedFunctionError() { throw TRuntimeError("Attempt to call uninitialized function pointer"); }

}  // namespace cvx
