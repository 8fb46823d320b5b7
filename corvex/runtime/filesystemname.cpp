#include "corvex/runtime/filesystemname.h"

namespace cvx {

std::string FileSystemName(const String& name) { return name.ToStd(); }

bool IsWholeFileSystemName(const String& name) noexcept {
  const char16_t* units = name.Units();
  for (std::int32_t i = 0; i < name.Length(); ++i)
    if ((units[i] & 0xFF) == 0) return false;
  return true;
}

String StringOfFileSystemName(std::string_view bytes) { return String(bytes); }

}  // namespace cvx
