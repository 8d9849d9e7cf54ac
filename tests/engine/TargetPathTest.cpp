#include "archive/TargetPath.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Platform.h"

namespace {

std::string Sep(const std::string& s) {
  std::string r = s;
  for (auto& c : r)
    if (c == '|') c = platform::PathSeparator();
  return r;
}

TEST(TargetPath, RefusesEveryWayOut) {
  const char* hostile[] = {
      "..\\evil.txt", "../evil.txt", "A\\..\\..\\evil.txt", "A/../../evil.txt", "A\\..",
      "\\\\server\\share\\evil.txt", "//server/share/evil.txt",
      "\\\\?\\C:\\evil.txt", "\\\\.\\PhysicalDrive0", "C:evil.txt", "C:\\evil.txt", "c:/evil.txt",
      "A\\B:stream", "file.txt:ads", "...\\evil.txt", ". .\\evil.txt", "..", "",
      "CON", "A\\nul.txt", "com1", "LPT9.log", "A\\aux ", "\\", "./", "conin$", "A\\CONOUT$.txt"};
  for (const char* path : hostile) {
    char out[TargetPathSize] = "x";
    EXPECT_FALSE(IsSafeMemberPath(path)) << path;
    EXPECT_FALSE(MakeTargetPath("T", path, out, sizeof out)) << path;
    EXPECT_STREQ(out, "") << path;
  }
}

TEST(TargetPath, KeepsOrdinaryPathsAndDoubleByteNames) {
  char out[TargetPathSize];
  ASSERT_TRUE(MakeTargetPath("T", "DOC\\SUB\\A.TXT", out, sizeof out));
  EXPECT_EQ(std::string(out), Sep("T|DOC|SUB|A.TXT"));
  // Folder entries end with a separator; "." and empty components are harmless.
  ASSERT_TRUE(MakeTargetPath(Sep("T|").c_str(), "DOC\\.\\\\SUB\\", out, sizeof out));
  EXPECT_EQ(std::string(out), Sep("T|DOC|SUB"));
  // Shift-JIS 0x95 0x5C ("表") keeps its trail byte: one component, not two.
  ASSERT_TRUE(MakeTargetPath("T", "\x95\x5C\\x.txt", out, sizeof out));
  EXPECT_EQ(std::string(out), Sep("T|\x95\x5C|x.txt"));
  // A trail byte 0x5C before ".." must not hide a real separator either way.
  EXPECT_TRUE(IsSafeMemberPath("\x95\x5C.."));
  EXPECT_FALSE(IsSafeMemberPath("\x95\x5C\\.."));
  EXPECT_TRUE(IsSafeMemberPath("CONSOLE.TXT"));
  EXPECT_TRUE(IsSafeMemberPath("..a"));
  EXPECT_TRUE(IsSafeMemberPath("a..b\\c"));
}

// One leading separator (old archives store "\\DIR\\FILE", Unix ones "/x") is dropped; a folder
// whose name ends in a double-byte character with trail byte 0x5C still gets its separator.
TEST(TargetPath, LeadingSeparatorsAndFoldersEndingInATrailByte) {
  struct Case {
    const char* folder;
    const char* member;
    const char* below;  // the path below the folder; '|' stands for the platform's separator
  } cases[] = {
      {"T", "\\DIR\\FILE", "DIR|FILE"},
      {"T", "/x", "x"},
      {"T", "\\\x95\x5C\\A", "\x95\x5C|A"},
      {"D:\\\x83\x5C", "A.TXT", "A.TXT"},             // a folder named ソ
      {"D:\\\x95\x5C", "DIR\\B.TXT", "DIR|B.TXT"},  // and 表
  };
  for (const Case& c : cases) {
    char out[TargetPathSize];
    ASSERT_TRUE(MakeTargetPath(c.folder, c.member, out, sizeof out)) << c.member;
    EXPECT_EQ(std::string(out), c.folder + Sep("|") + Sep(c.below)) << c.member;
  }
  // A folder that really ends with a separator gets no second one.
  char out[TargetPathSize];
  ASSERT_TRUE(MakeTargetPath("T/", "A", out, sizeof out));
  EXPECT_EQ(std::string(out), "T/A");
}

TEST(TargetPath, TooLongOrBadlyConvertedFails) {
  char small[8];
  EXPECT_FALSE(MakeTargetPath("T", "ABCDEFGH", small, sizeof small));
  char out[TargetPathSize];
  auto toDots = [](void*, const char*, char* o, std::size_t) {
    std::strcpy(o, "..");
    return true;
  };
  EXPECT_FALSE(MakeTargetPath("T", "A", out, sizeof out, toDots, nullptr));
  auto withSlash = [](void*, const char*, char* o, std::size_t) {
    std::strcpy(o, "a/b");
    return true;
  };
  EXPECT_FALSE(MakeTargetPath("T", "A", out, sizeof out, withSlash, nullptr));
  auto upper = [](void*, const char* in, char* o, std::size_t) {
    std::strcpy(o, in);
    for (char* p = o; *p; ++p)
      if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
    return true;
  };
  ASSERT_TRUE(MakeTargetPath("T", "a\\b", out, sizeof out, upper, nullptr));
  EXPECT_EQ(std::string(out), Sep("T|A|B"));
}

}  // namespace
