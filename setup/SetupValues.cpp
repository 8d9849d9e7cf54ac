#include "setup/SetupValues.h"

#include <cstring>

namespace {

// Appends `tail` to the NUL-terminated text in `buffer`; false when it does not fit.
bool Append(char* buffer, std::size_t size, const char* tail) {
  std::size_t length = std::strlen(buffer);
  std::size_t extra = std::strlen(tail);
  if (length + extra >= size) return false;
  std::memcpy(buffer + length, tail, extra + 1);
  return true;
}

template <std::size_t N>
bool Join(char (&buffer)[N], const char* head, const char* tail) {
  buffer[0] = '\0';
  return Append(buffer, N, head) && Append(buffer, N, tail);
}

// The folder part of a path, up to and including its last backslash; the scan skips the trail
// byte of every double-byte character, which may be a backslash in Shift-JIS.
void KeepFolder(char* path) {
  char* afterSlash = path;
  for (char* p = path; *p; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
      ++p;
    } else if (*p == '\\') {
      afterSlash = p + 1;
    }
  }
  *afterSlash = '\0';
}

}  // namespace

bool LoadSetupValues(HINSTANCE instance, SetupValues& values) {
  for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
    if (LoadStringA(instance, id, values.text[id], sizeof values.text[id]) <= 0) return false;
  }

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  values.windowsNt = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  // Without a compatibility section in the manifest, later systems report 6.2: still 6 or more.
  values.vistaOrLater = values.windowsNt && version.dwMajorVersion >= 6;

  char system[MAX_PATH];
  UINT length = GetSystemDirectoryA(system, sizeof system);
  if (length == 0 || length >= sizeof system) return false;
  char windows[MAX_PATH];
  length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return false;

  DWORD moduleLength = GetModuleFileNameA(nullptr, values.sourceFolder, sizeof values.sourceFolder);
  if (moduleLength == 0 || moduleLength >= sizeof values.sourceFolder) return false;
  KeepFolder(values.sourceFolder);

  return Join(values.wininitPath, windows, "\\WININIT.INI") &&
         Join(values.shellExtFolder, system, "\\SHELLEXT\\") &&
         Join(values.dllPath, values.shellExtFolder, "TANUFOLD.DLL") &&
         Join(values.iconValue, values.dllPath, ",-100") &&
         Join(values.uninstallCommand, values.shellExtFolder, "TNSETUP.EXE /remove");
}
