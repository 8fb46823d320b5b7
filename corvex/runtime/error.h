/// @file
/// Runtime errors: every failure a caller cannot go on from is thrown as a
/// TRuntimeError carrying its message text.
#pragma once

#include <exception>
#include <string>

#include "corvex/runtime/api_begin.h"

namespace cvx {

/// The exception every runtime failure raises: a message text (see the file
/// comment).
class TRuntimeError : public std::exception {
 public:
  /// An error with the given message.
  explicit TRuntimeError(std::string text) : text_(std::move(text)) {}
  /// The message, zero-terminated.
  const char* what() const noexcept override { return text_.c_str(); }
  /// The message as 8-bit text (each character one unit of the runtime string).
  const std::string& Text() const noexcept { return text_; }

 private:
  std::string text_;
};

// The language-level checks of the runtime.
[[noreturn]] void ThrowNullObjectError();             ///< "Attempt to access field or method of Null object"
[[noreturn]] void ThrowAbstractMethodError();         ///< "Attempt to call abstract method"
[[noreturn]] void ThrowArrayIndexError();             ///< "Attempt to index array element beyond array length"
[[noreturn]] void ThrowEndOfDataError();              ///< "Attempt to read beyond end of data"
[[noreturn]] void ThrowUninitializedFunctionError();  ///< "Attempt to call uninitialized function pointer"

}  // namespace cvx

#include "corvex/runtime/api_end.h"
