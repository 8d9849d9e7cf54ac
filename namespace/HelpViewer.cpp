#include "namespace/HelpViewer.h"

#include <shellapi.h>

#include "archive/PathName.h"
#include "namespace/ModuleState.h"

std::string ChooseHelpFile(const std::string& folder, bool winHelpPresent) {
  return folder + (winHelpPresent ? "TANUFOLD.HLP" : "TANUFOLD.HTM");
}

bool WinHelpPresent() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  // Windows Vista and later carry at most a WINHLP32.EXE that only says WinHelp is gone.
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6) return false;
  char viewer[MaxPath];
  UINT length = GetWindowsDirectoryA(viewer, sizeof viewer - 14);
  if (length == 0 || length >= sizeof viewer - 14) return false;
  lstrcatA(viewer, PathFolderLength(viewer) == length ? "WINHLP32.EXE" : "\\WINHLP32.EXE");
  return GetFileAttributesA(viewer) != INVALID_FILE_ATTRIBUTES;
}

bool ShowHelpTopic(HWND owner, const char* contextId) {
  char module[MaxPath] = "", folder[MaxPath] = "";
  DWORD length = GetModuleFileNameA(ModuleInstance, module, sizeof module);
  if (length == 0 || length >= sizeof module) return false;
  PathFolder(folder, module);
  if (WinHelpPresent()) {
    const std::string command = std::string("JI(`',`") + contextId + "')";
    if (WinHelpA(owner, ChooseHelpFile(folder, true).c_str(), HELP_COMMAND,
                 reinterpret_cast<ULONG_PTR>(command.c_str())))
      return true;
  }
  // A file path takes no "#topic" part; the page opens at its contents, which link every topic.
  const std::string page = ChooseHelpFile(folder, false);
  return reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", page.c_str(), nullptr, nullptr,
                                                 SW_SHOWNORMAL)) > 32;
}
