#include "cli/NameCodec.h"

#include <cstring>

#ifndef _WIN32
#include <iconv.h>
#include <cerrno>
#endif

namespace cli {

#ifdef _WIN32

std::string ToLocal(const std::string& archiveName) { return archiveName; }

bool ToArchive(const std::string& localName, std::string* archiveName) {
  *archiveName = localName;
  return true;
}

bool ConvertComponent(void*, const char*, char*, std::size_t) { return false; }

#else

namespace {

bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(in.size() * 3 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char* dst = &result[0];
  std::size_t dstLeft = result.size();
  std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1) || srcLeft != 0) return false;
  result.resize(result.size() - dstLeft);
  *out = result;
  return true;
}

}  // namespace

std::string ToLocal(const std::string& archiveName) {
  std::string local;
  return Convert("UTF-8", "CP932", archiveName, &local) ? local : archiveName;
}

bool ToArchive(const std::string& localName, std::string* archiveName) {
  return Convert("CP932", "UTF-8", localName, archiveName);
}

bool ConvertComponent(void*, const char* component, char* out, std::size_t size) {
  std::string local;
  if (!Convert("UTF-8", "CP932", component, &local) || local.size() + 1 > size) return false;
  std::memcpy(out, local.c_str(), local.size() + 1);
  return true;
}

#endif

}  // namespace cli
