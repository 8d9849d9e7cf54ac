// Which help the library opens: the .HLP where WinHelp is part of the system, the HTML page beside
// it elsewhere, and a failure told when neither is there.
#include <windows.h>

#include <gtest/gtest.h>

#include "namespace/HelpViewer.h"

TEST(HelpViewer, ThePageStandsInWhereWinHelpIsMissing) {
  EXPECT_EQ(ChooseHelpFile("C:\\S\\", true), "C:\\S\\TANUFOLD.HLP");
  EXPECT_EQ(ChooseHelpFile("C:\\S\\", false), "C:\\S\\TANUFOLD.HTM");
  OSVERSIONINFOA version = {sizeof version};
  ASSERT_TRUE(GetVersionExA(&version));
  if (version.dwMajorVersion >= 6) EXPECT_FALSE(WinHelpPresent()) << "gone since Windows Vista";
  // Beside the test program there is neither help file: the call says it showed nothing.
  EXPECT_FALSE(ShowHelpTopic(nullptr, "IDH_OPTIONS"));
}
