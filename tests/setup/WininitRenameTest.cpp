// The 95 platform's restart-time replacement as a unit: the WININIT.INI edit. (The end-to-end
// tests show the order of several entries and the names of the temporary copies.)
#include <windows.h>

#include <gtest/gtest.h>

#include "setup/InstallerDriver.h"
#include "setup/ReplaceAtRestart.h"

using namespace setuptest;

namespace {

struct WininitCase {
  const char* what;
  const char* before;  // nullptr: no WININIT.INI yet
  const char* target;  // nullptr: a deletion
  const char* after;
};

const WininitCase Cases[] = {
    {"a missing file is created", nullptr, "C:\\S\\A.DLL",
     "[Rename]\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n"},
    {"an empty file gets the section", "", "C:\\S\\A.DLL",
     "[Rename]\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n"},
    {"without a section one is appended", "[boot]\r\nshell=x\r\n", "C:\\S\\A.DLL",
     "[boot]\r\nshell=x\r\n[Rename]\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n"},
    {"the line goes at the end of the section", "[Rename]\r\nOLD=O\r\n[x]\r\ny=1\r\n", "C:\\S\\A.DLL",
     "[Rename]\r\nOLD=O\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n[x]\r\ny=1\r\n"},
    {"the header is found in any case and anywhere", "[x]\r\n[rename]\r\nOLD=O\r\n", "C:\\S\\A.DLL",
     "[x]\r\n[rename]\r\nOLD=O\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n"},
    {"a replacement after a deletion of its target", "[Rename]\r\nNUL=C:\\S\\A.DLL", "C:\\S\\A.DLL",
     "[Rename]\r\nNUL=C:\\S\\A.DLL\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n"},
    {"a header inside a line is no section", "a=[Rename]\r\n", "C:\\S\\A.DLL",
     "a=[Rename]\r\n[Rename]\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n"},
    {"a last line without a break gets one", "[x]\r\na=1", "C:\\S\\A.DLL",
     "[x]\r\na=1\r\n[Rename]\r\nC:\\S\\A.DLL=C:\\S\\A.TMP\r\n"},
    {"a deletion names NUL", "[Rename]\r\n", nullptr, "[Rename]\r\nNUL=C:\\S\\A.TMP\r\n"},
};

TEST(WininitRename, AddsEachLineToTheRenameSection) {
  TempFolder folder;
  std::string ini = folder / "WININIT.INI";
  for (const WininitCase& c : Cases) {
    DeleteFileA(ini.c_str());
    if (c.before) {
      ASSERT_TRUE(WriteBytes(ini, c.before));
    }
    EXPECT_TRUE(AddWininitRename(ini.c_str(), "C:\\S\\A.TMP", c.target)) << c.what;
    EXPECT_EQ(ReadText(ini), c.after) << c.what;
  }
}

TEST(WininitRename, AFileInUseIsLeftAsItWas) {
  TempFolder folder;
  std::string ini = folder / "WININIT.INI";
  ASSERT_TRUE(WriteBytes(ini, "[Rename]\r\n"));
  HANDLE held = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(AddWininitRename(ini.c_str(), "C:\\S\\A.TMP", "C:\\S\\A.DLL"));
  CloseHandle(held);
  EXPECT_EQ(ReadText(ini), "[Rename]\r\n");
}

}  // namespace
