// Runs tnsetup as a separate process and answers its message boxes, and reads what it left in
// the registry and the file system. Every wait has a bound: an installer that shows a box nobody
// expects, or never ends, is answered "no", then ended, and the run reports the problem.
//
//   SetupRun run = RunSetup(PackageFile("TNSETUP.EXE"), "", {IDYES, IDOK});
//   EXPECT_EQ(run.texts, (Texts{Message(IDS_ASK_INSTALL), Message(IDS_INSTALLED)}));
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "support/TestFiles.h"

namespace setuptest {

using Texts = std::vector<std::string>;

struct SetupRun {
  Texts texts;              // the text of every message box, in order
  DWORD exitCode = STILL_ACTIVE;
  std::string problem;      // what went wrong in the run itself ("" when nothing did)
};

struct RunOptions {
  std::string currentFolder;  // the installer's current folder ("" = the user's temporary folder)
  HANDLE token = nullptr;     // start it with this access token (CreateProcessAsUser)
};

// Starts `program` (tnsetup, or any program that ends by itself) with the argument text
// `arguments` and answers its boxes in turn with `answers` (IDYES, IDNO, IDOK); a box without the
// button named gets "no", or else "OK". The restart question is never answered yes: under Wine
// that would end the session's processes.
SetupRun RunSetup(const std::string& program, const std::string& arguments,
                  const std::vector<int>& answers, const RunOptions& options = {});

// Starts a viewer (`commandLine`), returns the text of the first rich edit control that its
// windows show within 20 s ("" when none does), and ends it.
std::string ShownRichText(const std::string& commandLine);

// A message of the installer's string table as Shift-JIS bytes (IDS_* of tnsetup_resource.h).
std::string Message(int id);

// Paths. `name` in the host folder that the environment `variable` names, reached through Z:;
// the package folder is TNSETUP_PACKAGE.
std::string HostFile(const char* variable, const char* name);
std::string PackageFile(const char* name);
std::string ShellExtFile(const char* name);  // system directory + "\SHELLEXT\" + name
std::string SystemDirectory();

using testsupport::Exists;
using testsupport::ReadText;
using testsupport::TempFolder;
// Writes text bytes to a file, replacing it.
inline bool WriteBytes(const std::string& path, const std::string& text) {
  return testsupport::WriteBytes(path, testsupport::TextBytes(text));
}

// One registry value as stored.
struct RegValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::string bytes;
  bool operator==(const RegValue& other) const {
    return present == other.present && type == other.type && bytes == other.bytes;
  }
};
RegValue ReadValue(HKEY root, const std::string& key, const char* name);
RegValue Sz(const std::string& text);  // a REG_SZ value with its terminating NUL
bool KeyExists(HKEY root, const std::string& key);
bool SetSz(HKEY root, const std::string& key, const char* name, const std::string& text);
// Makes a key read-only for everyone (write and delete refused), and writable again.
bool LockKey(HKEY root, const std::string& key);
void UnlockKey(HKEY root, const std::string& key);

// The entries of PendingFileRenameOperations ("\??\source", "!\??\target" or "", ...).
Texts PendingRenames();
// What a restart does to files under Wine: runs wineboot, which carries out the pending renames
// and the [Rename] section of WININIT.INI. True when it ran to its end.
bool RestartWine();
// Takes away every trace of an installation: registry rows, the SHELLEXT folder, pending renames,
// WININIT.INI and the per-program Windows version.
void ResetInstallation();
// Makes Wine report the 95 platform to TNSETUP.EXE (true) or the default NT one (false).
void PretendWindows95(bool on);
// Makes Wine report `version` ("winxp", "win10", ...) to TNSETUP.EXE.
void PretendWindowsVersion(const char* version);

}  // namespace setuptest
