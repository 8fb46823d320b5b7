#include "corvex/runtime/filesystemname.h"

namespace cvx {

std::string FileSystemName(const String& name) { return name.ToStd(); }

String StringOfFileSystemName(std::string_view bytes) { return String(bytes); }

}  // namespace cvx
