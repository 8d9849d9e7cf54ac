// Whole files, folders and source-tree paths for every test binary (native and under Wine).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// The bytes of a text, without a terminator.
Bytes TextBytes(const std::string& text);
// Reads a whole file; false when it cannot be read.
bool ReadBytes(const std::string& path, Bytes* out);
// A whole file's bytes; empty when it cannot be read.
Bytes ReadBytes(const std::string& path);
// A whole file as text; "<missing>" when it cannot be read.
std::string ReadText(const std::string& path);
// Creates or replaces a file with exactly the bytes.
bool WriteBytes(const std::string& path, const Bytes& bytes);
// Whether a file or folder exists at the path.
bool Exists(const std::string& path);
// Whether a folder (not a file) exists at the path.
bool IsDirectory(const std::string& path);
// The names in a folder, "." and ".." left out, sorted; empty when it cannot be listed.
std::vector<std::string> ListFolder(const std::string& path);
// A path of the build host as a test program sees it (under Wine "/a/b" is "Z:\a\b").
std::string HostPath(std::string path);
// A file of the source tree ("tests/data/sample-lh5.lzh"): under TANUVIA_SOURCE_DIR when the test
// runner sets it, else under the source folder the tests were built from.
std::string SourcePath(const std::string& relative);
// The interoperability corpus folder, with a trailing "/".
std::string InteropDir();

}  // namespace testsupport
