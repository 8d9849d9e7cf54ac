// Which help the library opens: the .HLP where WinHelp is part of the system, the HTML page beside
// it elsewhere, and a failure told when neither is there.
#include <windows.h>

#include <gtest/gtest.h>

#include "namespace/HelpViewer.h"

namespace {

TEST(HelpViewer, ThePageStandsInWhereWinHelpIsMissing) {
  const struct {
    const char* folder;
    bool winHelp;
    const char* file;
  } rows[] = {
      {"C:\\WINDOWS\\SYSTEM\\SHELLEXT\\", true, "C:\\WINDOWS\\SYSTEM\\SHELLEXT\\TANUFOLD.HLP"},
      {"C:\\WINDOWS\\SYSTEM\\SHELLEXT\\", false, "C:\\WINDOWS\\SYSTEM\\SHELLEXT\\TANUFOLD.HTM"},
  };
  for (const auto& row : rows) EXPECT_EQ(ChooseHelpFile(row.folder, row.winHelp), row.file);

  OSVERSIONINFOA version = {sizeof version};
  ASSERT_TRUE(GetVersionExA(&version));
  if (version.dwMajorVersion >= 6) EXPECT_FALSE(WinHelpPresent()) << "gone since Windows Vista";
  // Beside the test program there is neither help file: the call says it showed nothing.
  EXPECT_FALSE(ShowHelpTopic(nullptr, "IDH_OPTIONS"));
}

}  // namespace
