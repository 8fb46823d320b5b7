/// @file
/// The one conversion between String and the names the file system takes.
/// Every module turns names into bytes this way, so that a name read back from a
/// directory listing (one unit per byte, whatever the name's encoding) opens
/// again in any module: the file streams, the fonts, the requesters.
#pragma once

#include <string>
#include <string_view>

#include "corvex/runtime/api_begin.h"
#include "corvex/runtime/string.h"

namespace cvx {

/// The bytes a file-system call takes for a name: the low 8 bits of every unit,
/// as AsAnsi gives them. Never fails.
std::string FileSystemName(const String& name);

/// False when FileSystemName of the name holds a 0 byte (a NUL unit, or one
/// whose low 8 bits are 0): the system would read the name only up to that
/// byte, so it would name another file. Such a name names no file.
bool IsWholeFileSystemName(const String& name) noexcept;

/// A name given back as bytes by the file system or a tool: one unit per byte,
/// so that FileSystemName gives the same bytes again. Never fails.
String StringOfFileSystemName(std::string_view bytes);

}  // namespace cvx

#include "corvex/runtime/api_end.h"
