// What tnsetup knows once it has started: its texts, the platform, and the paths and registry
// data it builds from the system directory and its own location. Every other part of the
// installer reads these and nothing else of the machine's state.
#pragma once

#include <windows.h>

#include "resources/tnsetup_resource.h"

struct SetupValues {
  bool windowsNt;                     // VER_PLATFORM_WIN32_NT; anything else is the 95 platform
  bool vistaOrLater;                  // Windows NT 6.0 or later: archives browse in place
  char text[IDS_LAST + 1][512];       // strings 1 to IDS_LAST of the string table (0 unused)
  char sourceFolder[MAX_PATH];        // the folder of the running tnsetup, ending with "\"
  char shellExtFolder[MAX_PATH];      // system directory + "\SHELLEXT\"
  char wininitPath[MAX_PATH];         // Windows directory + "\WININIT.INI" (the 95 platform)
  char dllPath[MAX_PATH];             // SHELLEXT folder + "TANUFOLD.DLL"
  char iconValue[MAX_PATH + 8];       // DLL path + ",-100" (icon group 100 of the library)
  char uninstallCommand[MAX_PATH + 16];  // SHELLEXT folder + "TNSETUP.EXE /remove"

  const char* productName() const { return text[IDS_PRODUCT_NAME]; }
  const char* typeName() const { return text[IDS_TYPE_NAME]; }
};

// Loads the strings, notes the platform and builds the paths. False when a string or a path
// does not fit (nothing else can fail), in which case the installer ends without a word.
bool LoadSetupValues(HINSTANCE instance, SetupValues& values);
