#include <gtest/gtest.h>

#include <string>

#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "platform/Platform.h"
#include "support/TempFolder.h"

namespace {
const std::string Hyo = "\x95\x5C";  // Shift-JIS character whose second byte is a backslash
const std::string So = "\x83\x5C";

struct SeparatorRow { std::string path; PathKind kind; std::size_t component, folder, stripped; };
}

TEST(PathName, SeparatorsNeverCutADoubleByteCharacter) {
  const SeparatorRow rows[] = {
      {So, PathKind::Member, 2, 0, 2},
      {So + "\\", PathKind::Member, 2, 3, 2},
      {"DIR\\" + So + "\\\\", PathKind::Member, 3, 8, 6},
      {"\\", PathKind::Member, 0, 1, 0},
      {"A/B", PathKind::Member, 3, 0, 3},
      {"A/B/", PathKind::Stored, 1, 4, 3},
      {Hyo + "/" + So, PathKind::Disk, 2, 3, 5},
  };
  for (const auto& row : rows) {
    const char* p = row.path.c_str();
    EXPECT_EQ(ComponentLength(p, row.kind), row.component) << row.path;
    EXPECT_EQ(PathFolderLength(p, row.kind), row.folder) << row.path;
    EXPECT_EQ(StripTrailingSeparators(p, row.path.size(), row.kind), row.stripped) << row.path;
    EXPECT_EQ(EndsWithSeparator(p, row.path.size(), row.kind), row.stripped < row.path.size());
  }
  EXPECT_EQ(CountSeparators((Hyo + "\\" + So + "\\").c_str()), 2u);
  std::string replaced = So + "\\A\\" + Hyo;
  ReplaceSeparators(replaced, '/');
  EXPECT_EQ(replaced, So + "/A/" + Hyo);
  // A join adds one separator, and only after a folder that lacks one.
  EXPECT_EQ(JoinPath(So, "A.TXT"), So + "\\A.TXT");
  EXPECT_EQ(JoinPath("DIR\\", "A.TXT"), "DIR\\A.TXT");
  EXPECT_EQ(JoinPath("", "A.TXT"), "A.TXT");
  EXPECT_EQ(JoinPath(So, "A", PathKind::Disk), So + platform::PathSeparator() + "A");
  char out[8];
  EXPECT_TRUE(JoinPath(out, sizeof out, So.c_str(), "A.TX") && out == So + "\\A.TX");
  EXPECT_FALSE(JoinPath(out, sizeof out, So.c_str(), "A.TXT"));
  EXPECT_STREQ(out, "");
}

TEST(PathName, SplitsAtTheLastRealBackslash) {
  EXPECT_EQ(PathFolderLength("A.TXT"), 0u);
  EXPECT_EQ(PathFolderLength("DIR\\SUB\\A.TXT"), 8u);
  std::string dbcs = "DIR\\" + Hyo + ".TXT";
  EXPECT_EQ(PathFolderLength(dbcs.c_str()), 4u);
  EXPECT_EQ(std::string(PathNamePart(dbcs.c_str())), Hyo + ".TXT");
  std::string onlyDbcs = Hyo + Hyo;
  EXPECT_EQ(PathFolderLength(onlyDbcs.c_str()), 0u);

  char out[MaxPath];
  std::string folderPath = "A\\" + Hyo + "\\B.TXT";
  PathFolder(out, folderPath.c_str());
  EXPECT_EQ(std::string(out), "A\\" + Hyo + "\\");
  PathLeafName(out, folderPath.c_str());
  EXPECT_STREQ(out, "B.TXT");
  // A short output buffer is cut before a double-byte character, never inside it.
  PathLeafName(out, (Hyo + Hyo).c_str(), 4);
  EXPECT_EQ(std::string(out), Hyo);
}

TEST(PathName, ParentName) {
  char out[MaxPath];
  PathParentName(out, "A\\B\\C.TXT");
  EXPECT_STREQ(out, "B");
  PathParentName(out, "D:\\A.TXT");
  EXPECT_STREQ(out, "D:\\");
  PathParentName(out, "A.TXT");
  EXPECT_STREQ(out, "");
  PathParentName(out, ("X\\" + Hyo + "\\F").c_str());
  EXPECT_EQ(std::string(out), Hyo);
}

TEST(PathName, Extension) {
  EXPECT_EQ(PathExtension(".PROFILE"), nullptr);
  EXPECT_EQ(PathExtension("NAME"), nullptr);
  const char* name = "A.B.TXT";
  EXPECT_EQ(PathExtension(name), name + 3);
}

TEST(PathName, MatchesFolderAndIsBelowFolder) {
  EXPECT_TRUE(MatchesFolder("DOC\\SUB\\X", "doc\\sub\\A.TXT"));
  EXPECT_FALSE(MatchesFolder("DOC\\X", "DOC\\SUB\\A.TXT"));
  EXPECT_FALSE(MatchesFolder("DOC\\SUB\\X", "DOC\\A.TXT"));
  EXPECT_TRUE(MatchesFolder("", "A.TXT"));
  EXPECT_FALSE(MatchesFolder("", "DOC\\A.TXT"));
  EXPECT_TRUE(MatchesFolder("DOC\\X", ("DOC\\" + Hyo + ".TXT").c_str()));
  // Below a folder: at a component boundary, ignoring case, the folder's own entry included.
  EXPECT_FALSE(IsBelowFolder(So.c_str(), (So + "\x83\x74\x83\x67.TXT").c_str()));
  EXPECT_TRUE(IsBelowFolder(So.c_str(), (So + "\\A.TXT").c_str()));
  EXPECT_TRUE(IsBelowFolder((So + "\\").c_str(), (So + "\\").c_str()));
  EXPECT_TRUE(IsBelowFolder("doc\\", "DOC\\SUB\\A.TXT"));
  EXPECT_FALSE(IsBelowFolder("DOC", "DOCS\\A.TXT"));
  EXPECT_FALSE(IsBelowFolder("", "A.TXT"));
  EXPECT_FALSE(IsBelowFolder("\\", "\\A.TXT"));
}

TEST(PathName, ValidFileNames) {
  EXPECT_TRUE(IsValidFileName("*?.txt"));
  for (const char* bad : {"a:b", "a\"b", "a/b", "a<b", "a>b", "a\\b", "a|b"})
    EXPECT_FALSE(IsValidFileName(bad)) << bad;
  // Second bytes 0x5C and 0x7C belong to their characters.
  EXPECT_TRUE(IsValidFileName(Hyo.c_str()));
  EXPECT_TRUE(IsValidFileName("\x83\x7C"));
}

TEST(NoCase, FoldsAsciiOnlyAndNeverASecondByte) {
  EXPECT_EQ(CompareNoCase("ReadMe.TXT", "readme.txt"), 0);
  EXPECT_LT(CompareNoCase("a", "B"), 0);
  EXPECT_GT(CompareNoCase("ab", "A"), 0);
  // 0x82 0x41 and 0x82 0x61 are two different characters.
  EXPECT_NE(CompareNoCase("\x82\x41", "\x82\x61"), 0);
  EXPECT_NE(HashKeyNoCase("\x82\x41"), HashKeyNoCase("\x82\x61"));
  EXPECT_EQ(CompareNoCase("X\x82\x41y", "x\x82\x41Y"), 0);
  EXPECT_EQ(HashKeyNoCase("X\x82\x41y"), HashKeyNoCase("x\x82\x41Y"));
  EXPECT_TRUE(PrefixEqualNoCase("DOC\\a", "doc\\B", 4));
  EXPECT_FALSE(PrefixEqualNoCase("DOC\\a", "doc", 4));
}

TEST(PathName, CreatePathDirectoriesMakesEveryFolderButTheLast) {
  testsupport::TempFolder temp;
  const std::string base = temp.path() + platform::PathSeparator();
  const std::string x = base + "X", y = x + platform::PathSeparator() + "Y";
  EXPECT_TRUE(CreatePathDirectories((base + "X\\Y\\Z.TXT").c_str()));
  EXPECT_EQ(platform::GetAttributes(x.c_str()), platform::AttrDirectory);
  EXPECT_EQ(platform::GetAttributes(y.c_str()), platform::AttrDirectory);
  EXPECT_EQ(platform::GetAttributes((y + platform::PathSeparator() + "Z.TXT").c_str()),
            platform::InvalidAttributes);

  // A trailing backslash creates the last folder too; the second byte of 0x95 0x5C separates
  // nothing (on POSIX a split there would have made "\x95" and "\x95/IN" instead).
  const std::string hyo = base + Hyo, inner = hyo + platform::PathSeparator() + "IN";
  EXPECT_TRUE(CreatePathDirectories((base + Hyo + "\\IN\\").c_str()));
  EXPECT_EQ(platform::GetAttributes(hyo.c_str()), platform::AttrDirectory);
  EXPECT_EQ(platform::GetAttributes(inner.c_str()), platform::AttrDirectory);
}
