// tnsetup [/remove]
//
// Installs Tanuvia: copies the five package files from its own folder into the system
// directory's SHELLEXT folder and writes the registrations that make the shell load tanufold.
// "/remove" (exactly, as the program's argument text) removes them again. Files in use are
// replaced or deleted at the next restart, which it then offers. It has no window: everything is
// said in message boxes captioned "Tanuvia".
//
// Exit code: 0 done (a restart may still be pending), 1 declined, 2 failed.
#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "setup/PackageFiles.h"
#include "setup/RegistryRows.h"
#include "setup/SetupValues.h"

namespace {

enum class Outcome { Done, RestartNeeded, Declined, Failed };

int Show(const SetupValues& values, const char* text, UINT flags) {
  return MessageBoxA(nullptr, text, values.productName(), flags | MB_SETFOREGROUND);
}

bool Ask(const SetupValues& values, int id) {
  return Show(values, values.text[id], MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Warn(const SetupValues& values, int id) {
  Show(values, values.text[id], MB_OK | MB_ICONWARNING);
}

// On Windows NT a restart needs SeShutdownPrivilege enabled in the process token. A privilege the
// account does not hold still "succeeds" with ERROR_NOT_ALL_ASSIGNED, which counts as failure.
bool EnableShutdownPrivilege() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool ok = LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
            GetLastError() != ERROR_NOT_ALL_ASSIGNED;
  CloseHandle(token);
  return ok;
}

// Returns false when the restart was needed but could not be made (message 9).
bool OfferRestart(const SetupValues& values) {
  if (values.windowsNt && !EnableShutdownPrivilege()) {
    Warn(values, IDS_NO_RESTART_RIGHT);
    return false;
  }
  if (!Ask(values, IDS_ASK_RESTART)) return true;
  if (ExitWindowsEx(EWX_REBOOT, 0)) return true;
  Warn(values, IDS_NO_RESTART_RIGHT);
  return false;
}

// Open shell windows learn of the association that the install wrote or the removal took away.
void AnnounceAssociation() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

Outcome Install(const SetupValues& values) {
  // Nothing changes unless the whole package is at hand.
  char missing[MAX_PATH];
  FindMissingSource(values, missing);
  if (missing[0]) {
    char text[sizeof values.text[0] + MAX_PATH];
    wsprintfA(text, values.text[IDS_SOURCE_MISSING], missing);
    Show(values, text, MB_OK | MB_ICONWARNING);
    return Outcome::Failed;
  }
  if (!Ask(values, IDS_ASK_INSTALL)) return Outcome::Declined;

  RegistryJournal journal;
  if (!WriteRegistryRows(values, journal)) {
    UndoRegistryRows(journal);
    Warn(values, IDS_REGISTRY_WRITE);
    return Outcome::Failed;
  }
  CopyResult copy = CopyPackageFiles(values);
  if (!copy.ok) {
    DeleteCopiedFiles(values, copy);
    UndoRegistryRows(journal);
    Warn(values, IDS_COPY_FAILED);
    return Outcome::Failed;
  }
  AnnounceAssociation();
  return copy.restartNeeded ? Outcome::RestartNeeded : Outcome::Done;
}

Outcome Remove(const SetupValues& values) {
  if (!Ask(values, IDS_ASK_REMOVE)) return Outcome::Declined;
  if (!RemoveRegistryRows(values)) {
    Warn(values, IDS_REGISTRY_REMOVE);
    return Outcome::Failed;
  }
  AnnounceAssociation();  // the rows are gone, whatever becomes of the files
  DeleteResult removal = DeletePackageFiles(values);
  if (removal.ok) return removal.restartNeeded ? Outcome::RestartNeeded : Outcome::Done;
  Warn(values, IDS_DELETE_FAILED);
  if (removal.restartNeeded) OfferRestart(values);
  return Outcome::Failed;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  SetupValues values;
  if (!LoadSetupValues(instance, values)) return 2;
  // The argument text alone: GetCommandLine would include the program's path, and the control
  // panel runs the uninstall command with the full path of the installed TNSETUP.EXE.
  const bool remove = std::strcmp(commandLine, "/remove") == 0;

  switch (remove ? Remove(values) : Install(values)) {
    case Outcome::Done:
      if (!remove) Show(values, values.text[IDS_INSTALLED], MB_OK | MB_ICONINFORMATION);
      return 0;
    case Outcome::RestartNeeded:
      return OfferRestart(values) ? 0 : 2;
    case Outcome::Declined:
      return 1;
    case Outcome::Failed:
      break;
  }
  return 2;
}
