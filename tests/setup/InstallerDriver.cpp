#include "setup/InstallerDriver.h"

#include <sddl.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>

#include "namespace/ClassId.h"
#include "resources/tnsetup_resource.h"

namespace setuptest {

namespace {

constexpr DWORD RunTimeoutMs = 60000;
constexpr UINT SendTimeoutMs = 5000;
constexpr int MessageBoxTextId = 0xFFFF;  // the static control of a message box's text
constexpr char SessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char AppDefaults[] = "Software\\Wine\\AppDefaults\\TNSETUP.EXE";


// The visible dialog (a message box) of the process in lParam's first DWORD, into its second.
BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<std::pair<DWORD, HWND>*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  if (process != search->first || std::strcmp(className, "#32770") || !IsWindowVisible(window))
    return TRUE;
  search->second = window;
  return FALSE;
}

std::string WindowText(HWND window) {
  char text[2048] = "";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_NORMAL, SendTimeoutMs, &ignored);
  return text;
}

bool Press(HWND box, int button) {
  HWND control = GetDlgItem(box, button);
  return control && PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(control));
}

std::string HostToWindows(const char* path) {
  std::string windows = path[0] == '/' ? std::string("Z:") + path : std::string(path);
  for (char& c : windows)
    if (c == '/') c = '\\';
  return windows;
}

bool SetKeyDacl(HKEY root, const std::string& key, const char* sddl, REGSAM access) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  HKEY handle;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return false;
  }
  bool ok = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, access, nullptr, &handle,
                            nullptr) == ERROR_SUCCESS;
  if (ok) {
    ok = RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    RegCloseKey(handle);
  }
  LocalFree(descriptor);
  return ok;
}

// Keys that tests lock under HKEY_CLASSES_ROOT.
const char* const LockableKeys[] = {"Folder\\shellex\\DragDropHandlers\\LzhExtract",
                                    "lzhfile\\DefaultIcon"};

}  // namespace

SetupRun RunSetup(const std::string& program, const std::string& arguments,
                  const std::vector<int>& answers, const RunOptions& options) {
  SetupRun run;
  std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  TempFolder scratch;
  std::string folder = options.currentFolder.empty() ? scratch.path() : options.currentFolder;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!(options.token ? CreateProcessAsUserA(options.token, nullptr, &commandLine[0], nullptr,
                                             nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                                             &process)
                      : CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                       nullptr, folder.c_str(), &startup, &process))) {
    run.problem = "cannot start " + program;
    return run;
  }
  CloseHandle(process.hThread);

  HWND answered = nullptr;
  for (DWORD start = GetTickCount(); WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT;) {
    if (GetTickCount() - start > RunTimeoutMs) {
      run.problem += "the installer did not end; ";
      TerminateProcess(process.hProcess, 3);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
    std::pair<DWORD, HWND> search(process.dwProcessId, nullptr);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    HWND box = search.second;
    if (!box || box == answered) continue;
    DWORD_PTR ignored = 0;  // lets the box finish starting before it is read
    SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, SendTimeoutMs, &ignored);
    if (WindowText(box) != Message(IDS_PRODUCT_NAME)) run.problem += "wrong caption; ";
    run.texts.push_back(WindowText(GetDlgItem(box, MessageBoxTextId)));

    std::size_t index = run.texts.size() - 1;
    int answer = index < answers.size() ? answers[index] : IDNO;
    if (index >= answers.size()) run.problem += "unexpected message box; ";
    if (answer == IDYES && run.texts.back() == Message(IDS_ASK_RESTART)) {
      run.problem += "the restart question may not be answered yes; ";
      answer = IDNO;
    }
    if (!Press(box, answer) && !Press(box, IDNO) && !Press(box, IDOK)) {
      run.problem += "the box has no button to press; ";
      PostMessageA(box, WM_CLOSE, 0, 0);
    }
    answered = box;
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hProcess);
  return run;
}

namespace {

BOOL CALLBACK FindRichEdit(HWND window, LPARAM found) {
  char className[32] = "";
  GetClassNameA(window, className, sizeof className);
  if (std::strncmp(className, "RichEdit", 8) || WindowText(window).empty()) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

BOOL CALLBACK FindRichEditOf(HWND window, LPARAM search) {
  auto* viewer = reinterpret_cast<std::pair<DWORD, HWND>*>(search);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == viewer->first)
    EnumChildWindows(window, FindRichEdit, reinterpret_cast<LPARAM>(&viewer->second));
  return !viewer->second;
}

}  // namespace

std::string ShownRichText(const std::string& commandLine) {
  std::string line = commandLine;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return "";
  }
  std::pair<DWORD, HWND> viewer(process.dwProcessId, nullptr);
  for (int tries = 0; tries < 200 && !viewer.second; ++tries) {
    Sleep(100);
    EnumWindows(FindRichEditOf, reinterpret_cast<LPARAM>(&viewer));
  }
  std::string text = viewer.second ? WindowText(viewer.second) : "";
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return text;
}

std::string Message(int id) {
  // From the built installer's own string table, so a text changes in one place only.
  static HMODULE program = LoadLibraryExA(PackageFile("TNSETUP.EXE").c_str(), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE);
  char text[1024] = "";
  if (!program || LoadStringA(program, static_cast<UINT>(id), text, sizeof text) <= 0)
    return "<no such message>";
  return text;
}

std::string HostFile(const char* variable, const char* name) {
  const char* folder = std::getenv(variable);
  return HostToWindows((std::string(folder ? folder : ".") + "/" + name).c_str());
}

std::string PackageFile(const char* name) { return HostFile("TNSETUP_PACKAGE", name); }

std::string SystemDirectory() {
  char path[MAX_PATH] = "";
  GetSystemDirectoryA(path, sizeof path);
  return path;
}

std::string ShellExtFile(const char* name) { return SystemDirectory() + "\\SHELLEXT\\" + name; }

RegValue ReadValue(HKEY root, const std::string& key, const char* name) {
  RegValue value;
  char bytes[8192];
  DWORD size = sizeof bytes;
  value.present = SHGetValueA(root, key.c_str(), name, &value.type, bytes, &size) == ERROR_SUCCESS;
  if (value.present) value.bytes.assign(bytes, size);
  return value;
}

RegValue Sz(const std::string& text) { return RegValue{true, REG_SZ, text + '\0'}; }

bool KeyExists(HKEY root, const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

bool SetSz(HKEY root, const std::string& key, const char* name, const std::string& text) {
  return SHSetValueA(root, key.c_str(), name, REG_SZ, text.c_str(),
                     static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool LockKey(HKEY root, const std::string& key) {
  // Everyone may read the key and change its permissions, nothing else.
  return SetKeyDacl(root, key, "D:P(A;;KR;;;WD)(A;;WD;;;WD)", KEY_ALL_ACCESS);
}

void UnlockKey(HKEY root, const std::string& key) {
  if (KeyExists(root, key)) SetKeyDacl(root, key, "D:P(A;;KA;;;WD)", WRITE_DAC);
}

Texts PendingRenames() {
  // Pairs of NUL-terminated strings (source, then target or "" for a deletion), then "".
  RegValue value = ReadValue(HKEY_LOCAL_MACHINE, SessionManager, "PendingFileRenameOperations");
  Texts entries;
  for (std::size_t at = 0; at < value.bytes.size(); at += entries.back().size() + 1)
    entries.push_back(value.bytes.c_str() + at);
  if (entries.size() % 2 != 0) entries.pop_back();
  return entries;
}

bool RestartWine() {
  SetupRun run = RunSetup(SystemDirectory() + "\\wineboot.exe", "", {});
  return run.problem.empty() && run.exitCode == 0;
}

void ResetInstallation() {
  for (const char* key : LockableKeys) UnlockKey(HKEY_CLASSES_ROOT, key);
  for (const char* key : {"CLSID\\" TANUVIA_CLSID_TEXT, ".lzh", "lzhfile", LockableKeys[0],
                          "Directory\\shellex\\DragDropHandlers\\LzhExtract"}) {
    SHDeleteKeyA(HKEY_CLASSES_ROOT, key);
  }
  // A fresh system has no "Directory" class; an install before may have left it empty.
  for (const char* key : {"Directory\\shellex\\DragDropHandlers", "Directory\\shellex", "Directory"})
    SHDeleteEmptyKeyA(HKEY_CLASSES_ROOT, key);
  SHDeleteKeyA(HKEY_LOCAL_MACHINE,
               "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tanuvia");
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bellfin");
  SHDeleteValueA(HKEY_LOCAL_MACHINE,
                 "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                 TANUVIA_CLSID_TEXT);
  SHDeleteValueA(HKEY_LOCAL_MACHINE, SessionManager, "PendingFileRenameOperations");
  PretendWindows95(false);

  std::string folder = SystemDirectory() + "\\SHELLEXT\\";
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
  for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
    std::string path = folder + found.cFileName;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(path.c_str());
    else if (found.cFileName[0] != '.') RemoveDirectoryA(path.c_str());
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  RemoveDirectoryA(folder.c_str());
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  DeleteFileA((std::string(windows) + "\\WININIT.INI").c_str());
}

void PretendWindows95(bool on) {
  if (on) PretendWindowsVersion("win95");
  else SHDeleteKeyA(HKEY_CURRENT_USER, AppDefaults);
}

void PretendWindowsVersion(const char* version) {
  SetSz(HKEY_CURRENT_USER, AppDefaults, "Version", version);
}

}  // namespace setuptest
