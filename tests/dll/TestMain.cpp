// The shell library's test program. Its own module carries the library's resources, so it sets
// up the library's process-wide state for itself, as loading the library would.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "namespace/ModuleState.h"

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  LoadModuleState(GetModuleHandleA(nullptr));
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  UnloadModuleState();
  return result;
}
