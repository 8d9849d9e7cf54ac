// Names between the archive's code page (Shift-JIS, code page 932) and the names of the local
// system: UTF-8 on POSIX, the same ANSI bytes on Windows.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

// Archive bytes to a local name. Bytes that do not convert are kept as they are, so the result is
// never empty for a non-empty input.
std::string ToLocal(const std::string& archiveName);
// A local name to archive bytes. False when the name has characters code page 932 cannot hold.
bool ToArchive(const std::string& localName, std::string* archiveName);

// The engine's NameConverter: one archive path component to a local one.
bool ConvertComponent(void* context, const char* component, char* out, std::size_t size);

}  // namespace cli
