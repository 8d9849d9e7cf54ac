// tnsetup as a user and the control panel run it: a separate process in the tests' own Wine
// prefix, its message boxes answered by the driver, its work read back from the registry, the
// SHELLEXT folder and the restart-time renames.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "namespace/ClassId.h"
#include "resources/tnsetup_resource.h"
#include "setup/InstallerDriver.h"

using namespace setuptest;

namespace {

const HKEY Classes = HKEY_CLASSES_ROOT;
const HKEY Machine = HKEY_LOCAL_MACHINE;
#define CLSID_KEY "CLSID\\" TANUVIA_CLSID_TEXT
constexpr char Uninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tanuvia";
constexpr char Foreign[] = "OtherArchiver.lzh";  // another program's ".lzh" association
const char* const Files[] = {"TANUFOLD.DLL", "TNSETUP.EXE", "TANUFOLD.HLP", "TANUFOLD.CNT",
                             "TANUFOLD.HTM"};
const char* const Temporaries[] = {"TANUFDLL.TMP", "TNSETEXE.TMP", "TANUFHLP.TMP", "TANUFCNT.TMP",
                                   "TANUFHTM.TMP"};

struct Row {
  HKEY root;
  std::string key;
  const char* name;
  RegValue value;
};

// Tables A, B (Windows NT), V (Windows Vista and later) and C as an install leaves them.
std::vector<Row> InstalledRows(bool windowsNt, bool vista = true) {
  const std::string dll = ShellExtFile("TANUFOLD.DLL"), icon = dll + ",-100";
  const RegValue typeName = Sz("LZH\xcc\xa7\xb2\xd9");  // "LZHﾌｧｲﾙ"
  const RegValue clsid = Sz(TANUVIA_CLSID_TEXT);
  return {
      {Classes, CLSID_KEY, nullptr, windowsNt ? typeName : RegValue{}},
      {Classes, CLSID_KEY "\\InProcServer32", nullptr, Sz(dll)},
      {Classes, CLSID_KEY "\\InProcServer32", "ThreadingModel", Sz("Apartment")},
      {Classes, CLSID_KEY "\\DefaultIcon", nullptr, Sz(icon)},
      {Classes, ".lzh", nullptr, Sz("lzhfile")},
      {Classes, ".lzh\\ShellNew", "NullFile", RegValue{true, REG_BINARY, ""}},
      {Classes, "lzhfile", nullptr, typeName},
      {Classes, "lzhfile\\DefaultIcon", nullptr, Sz(icon)},
      {Classes, "lzhfile\\shell", nullptr, Sz("open")},
      {Classes, "lzhfile\\shell\\open\\command", nullptr,
       Sz("explorer /root," TANUVIA_CLSID_TEXT ",\"%1\"")},
      {Classes, "lzhfile\\shell\\explore\\command", nullptr,
       Sz("explorer /e,/root," TANUVIA_CLSID_TEXT ",\"%1\"")},
      {Classes, "lzhfile\\CLSID", nullptr, vista ? clsid : RegValue{}},
      {Classes, CLSID_KEY "\\ShellFolder", "Attributes",
       vista ? RegValue{true, REG_DWORD, std::string("\x00\x01\x00\x20", 4)} : RegValue{}},
      {Classes, ".lzh\\OpenWithProgids", "lzhfile",
       vista ? RegValue{true, REG_BINARY, ""} : RegValue{}},
      {Classes, "lzhfile\\shellex\\PropertySheetHandlers", nullptr, Sz("LzhFiles")},
      {Classes, "lzhfile\\shellex\\PropertySheetHandlers\\LzhFiles", nullptr, clsid},
      {Classes, "lzhfile\\shellex\\DropHandler", nullptr, clsid},
      {Classes, "Directory\\shellex\\DragDropHandlers\\LzhExtract", nullptr, clsid},
      {Classes, "Folder\\shellex\\DragDropHandlers\\LzhExtract", nullptr, clsid},
      {Machine, Uninstall, "DisplayName", Sz("Tanuvia")},
      {Machine, Uninstall, "UninstallString", Sz(ShellExtFile("TNSETUP.EXE") + " /remove")},
      {Machine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
       TANUVIA_CLSID_TEXT, Sz("Tanuvia")},
  };
}

void ExpectRows(const std::vector<Row>& rows, bool present = true) {
  for (const Row& row : rows) {
    EXPECT_EQ(ReadValue(row.root, row.key, row.name), present ? row.value : RegValue{})
        << row.key << " " << (row.name ? row.name : "(default)");
  }
}

// No row of the three tables is left, nor a key that only the installer made.
void ExpectNoRows() {
  ExpectRows(InstalledRows(true), false);
  for (const char* key : {CLSID_KEY, ".lzh", "lzhfile", "Directory\\shellex\\DragDropHandlers",
                          "Folder\\shellex\\DragDropHandlers\\LzhExtract"}) {
    EXPECT_FALSE(KeyExists(Classes, key)) << key;
  }
  EXPECT_FALSE(KeyExists(Machine, Uninstall));
  EXPECT_FALSE(KeyExists(Machine, "SOFTWARE\\Bellfin"));
}

// Creates the folder by COM activation of the registered class, as the shell does, opens the
// archive in it and returns its items' names; the library loaded must be the installed one.
Texts BrowseThroughCom(const std::string& archivePath) {
  Texts names;
  CoInitialize(nullptr);
  IShellFolder* folder = nullptr;
  IPersistFolder* persist = nullptr;
  IEnumIDList* items = nullptr;
  LPITEMIDLIST archive = nullptr, item = nullptr;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, archivePath.c_str(), -1, wide, MAX_PATH);
  EXPECT_EQ(CoCreateInstance(CLSID_Tanuvia, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder,
                             reinterpret_cast<void**>(&folder)),
            S_OK);
  if (folder && SHParseDisplayName(wide, nullptr, &archive, 0, nullptr) == S_OK &&
      folder->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(&persist)) == S_OK &&
      persist->Initialize(archive) == S_OK &&
      folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &items) == S_OK) {
    char loaded[MAX_PATH] = "", text[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleA("TANUFOLD.DLL"), loaded, sizeof loaded);
    EXPECT_EQ(lstrcmpiA(loaded, ShellExtFile("TANUFOLD.DLL").c_str()), 0) << loaded;
    for (STRRET name; items->Next(1, &item, nullptr) == S_OK; CoTaskMemFree(item)) {
      if (folder->GetDisplayNameOf(item, SHGDN_INFOLDER | SHGDN_FORPARSING, &name) == S_OK &&
          StrRetToBufA(&name, item, text, sizeof text) == S_OK) {
        names.push_back(text);
      }
    }
    items->Release();
  }
  if (persist) persist->Release();
  if (folder) folder->Release();
  CoTaskMemFree(archive);
  CoUninitialize();
  return names;
}

class InstallerTest : public testing::Test {
 protected:
  void SetUp() override { ResetInstallation(); }
  void TearDown() override { ResetInstallation(); }

  // Runs the package's installer and expects exactly these messages and exit code.
  static void Expect(const std::string& arguments, const std::vector<int>& answers,
                     const std::vector<int>& messages, DWORD exitCode,
                     const RunOptions& options = {}) {
    SetupRun run = RunSetup(PackageFile("TNSETUP.EXE"), arguments, answers, options);
    Texts texts;
    for (int id : messages) texts.push_back(Message(id));
    EXPECT_EQ(run.texts, texts) << run.problem;
    EXPECT_EQ(run.exitCode, exitCode);
  }
  static void Install() { Expect("", {IDYES, IDOK}, {IDS_ASK_INSTALL, IDS_INSTALLED}, 0); }
  // Over an installation every file takes the temporary road, and the restart is declined.
  static void InstallAgain() {
    Expect("", {IDYES, IDNO}, {IDS_ASK_INSTALL, IDS_ASK_RESTART}, 0);
  }
};

TEST_F(InstallerTest, InstallRegistersTheTablesCopiesTheFilesAndServesTheFolder) {
  Install();
  ExpectRows(InstalledRows(true));
  EXPECT_TRUE(KeyExists(Machine, "SOFTWARE\\Bellfin\\Tanuvia"));
  // The manifest that has Windows Vista and later start the installer elevated.
  HMODULE setup = LoadLibraryExA(PackageFile("TNSETUP.EXE").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
  HRSRC manifest =
      setup ? FindResourceA(setup, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
  ASSERT_NE(manifest, nullptr);
  const std::string xml(static_cast<const char*>(LockResource(LoadResource(setup, manifest))),
                        SizeofResource(setup, manifest));
  EXPECT_NE(xml.find("<requestedExecutionLevel level=\"requireAdministrator\""),
            std::string::npos);
  FreeLibrary(setup);
  EXPECT_FALSE(ReadValue(Machine, Uninstall, "PreviousAssociation").present);
  for (const char* name : Files)
    EXPECT_EQ(ReadText(ShellExtFile(name)), ReadText(PackageFile(name))) << name;
  for (const char* name : Temporaries) EXPECT_FALSE(Exists(ShellExtFile(name))) << name;
  EXPECT_EQ(PendingRenames(), Texts{});

  // On a thread of its own: the library initialises OLE on the thread that loads it, and only
  // when that thread ends does COM let the library go, so that the installed file can change.
  Texts names;
  std::thread([&names] {
    names = BrowseThroughCom(HostFile("TANUVIA_SOURCE_DIR", "tests/data/sample-lh5.lzh"));
  }).join();
  EXPECT_EQ(names, (Texts{"gpl3.txt", "mixed.bin", "zeros.bin"}));
  EXPECT_EQ(GetModuleHandleA("TANUFOLD.DLL"), nullptr);
}

TEST_F(InstallerTest, InstallingAgainReplacesEveryFileAtTheRestart) {
  Install();
  ASSERT_TRUE(WriteBytes(ShellExtFile("TANUFOLD.CNT"), "old"));
  InstallAgain();
  Texts renames;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ReadText(ShellExtFile(Temporaries[i])), ReadText(PackageFile(Files[i])));
    renames.push_back("\\??\\" + ShellExtFile(Temporaries[i]));
    renames.push_back("!\\??\\" + ShellExtFile(Files[i]));  // "!": replace the existing file
  }
  EXPECT_EQ(PendingRenames(), renames);
  EXPECT_EQ(ReadText(ShellExtFile("TANUFOLD.CNT")), "old");

  ASSERT_TRUE(RestartWine());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ReadText(ShellExtFile(Files[i])), ReadText(PackageFile(Files[i])));
    EXPECT_FALSE(Exists(ShellExtFile(Temporaries[i])));
  }
  EXPECT_EQ(PendingRenames(), Texts{});
}

TEST_F(InstallerTest, OnThe95PlatformWininitIniCarriesTheReplacementsAndTableBIsLeftOut) {
  PretendWindows95(true);
  Install();
  ExpectRows(InstalledRows(false, false));
  ASSERT_TRUE(WriteBytes(ShellExtFile("TANUFOLD.CNT"), "old"));
  InstallAgain();
  std::string wininit = "[Rename]\r\n";
  for (int i = 0; i < 5; ++i)
    wininit += ShellExtFile(Files[i]) + "=" + ShellExtFile(Temporaries[i]) + "\r\n";
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_EQ(ReadText(std::string(windows) + "\\WININIT.INI"), wininit);
  EXPECT_EQ(PendingRenames(), Texts{});

  ASSERT_TRUE(RestartWine());
  EXPECT_EQ(ReadText(ShellExtFile("TANUFOLD.CNT")),
            ReadText(PackageFile("TANUFOLD.CNT")));
  for (const char* name : Temporaries) EXPECT_FALSE(Exists(ShellExtFile(name))) << name;
}

TEST_F(InstallerTest, RemovalAsTheControlPanelRunsItLeavesNoRowAndNoFile) {
  Install();
  // The uninstall command names the installed TNSETUP.EXE, which cannot delete itself.
  SetupRun run = RunSetup(ShellExtFile("TNSETUP.EXE"), "/remove", {IDYES, IDNO});
  EXPECT_EQ(run.texts, (Texts{Message(IDS_ASK_REMOVE), Message(IDS_ASK_RESTART)})) << run.problem;
  EXPECT_EQ(run.exitCode, 0u);
  ExpectNoRows();
  std::thread([] {
    CoInitialize(nullptr);
    void* folder = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Tanuvia, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder,
                               &folder),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
  }).join();

  // Each file is gone, or waits for the restart to delete it.
  Texts renames = PendingRenames();
  for (const char* name : Files) {
    Texts deletion = {"\\??\\" + ShellExtFile(name), ""};
    bool scheduled = std::search(renames.begin(), renames.end(), deletion.begin(),
                                 deletion.end()) != renames.end();
    EXPECT_TRUE(!Exists(ShellExtFile(name)) || scheduled) << name;
  }
  ASSERT_TRUE(RestartWine());
  for (const char* name : Files) EXPECT_FALSE(Exists(ShellExtFile(name))) << name;
}

TEST_F(InstallerTest, OnWindowsXpTheRowsStayAsTheyWereAndAnEarlierCommandIsOurs) {
  PretendWindowsVersion("winxp");
  // An earlier version's command, without quotes: ours, neither kept nor put back at removal.
  ASSERT_TRUE(SetSz(Classes, "lzhfile\\shell\\open\\command", nullptr,
                    "explorer /root," TANUVIA_CLSID_TEXT ",%1"));
  Install();
  ExpectRows(InstalledRows(true, false));
  Expect("/remove", {IDYES}, {IDS_ASK_REMOVE}, 0);
  ExpectNoRows();
}

TEST_F(InstallerTest, OnlyTheExactRemoveArgumentRemoves) {
  Expect("/REMOVE", {IDNO}, {IDS_ASK_INSTALL}, 1);
  EXPECT_FALSE(KeyExists(Classes, CLSID_KEY));
}

TEST_F(InstallerTest, AnotherProgramsAssociationAndDataSurviveInstallAndRemoval) {
  const bool hadDirectory = KeyExists(Classes, "Directory");
  ASSERT_TRUE(SetSz(Classes, ".lzh", nullptr, Foreign));
  // Another program that calls its class "lzhfile" too.
  ASSERT_TRUE(SetSz(Classes, "lzhfile", nullptr, "Other archive"));
  ASSERT_TRUE(SetSz(Classes, "lzhfile\\DefaultIcon", nullptr, "other.exe,1"));
  Install();
  EXPECT_EQ(ReadValue(Classes, ".lzh", nullptr), Sz("lzhfile"));
  InstallAgain();
  // Another program takes over a verb and adds a value of its own.
  ASSERT_TRUE(SetSz(Classes, "lzhfile\\shell\\open\\command", nullptr, "other.exe \"%1\""));
  ASSERT_TRUE(SetSz(Classes, "lzhfile", "FriendlyTypeName", "Other"));
  Expect("/remove", {IDYES}, {IDS_ASK_REMOVE}, 0);

  EXPECT_EQ(ReadValue(Classes, ".lzh", nullptr), Sz(Foreign));
  EXPECT_EQ(ReadValue(Classes, "lzhfile\\shell\\open\\command", nullptr), Sz("other.exe \"%1\""));
  EXPECT_EQ(ReadValue(Classes, "lzhfile", "FriendlyTypeName"), Sz("Other"));
  EXPECT_EQ(ReadValue(Classes, "lzhfile", nullptr), Sz("Other archive"));
  EXPECT_EQ(ReadValue(Classes, "lzhfile\\DefaultIcon", nullptr), Sz("other.exe,1"));
  EXPECT_FALSE(ReadValue(Classes, "lzhfile\\shell", nullptr).present);
  for (const char* key : {"lzhfile\\shell\\explore", "lzhfile\\shellex", ".lzh\\ShellNew", CLSID_KEY})
    EXPECT_FALSE(KeyExists(Classes, key)) << key;
  EXPECT_EQ(KeyExists(Classes, "Directory"), hadDirectory) << "a key only the install made";
  EXPECT_FALSE(KeyExists(Machine, Uninstall));
  // The replacements that the second install left pending bring nothing back.
  ASSERT_TRUE(RestartWine());
  for (const char* name : Files) EXPECT_FALSE(Exists(ShellExtFile(name))) << name;
}

// A failed install puts back what it changed: another program's association, no row of its own,
// no file of its own and no replacement waiting for the restart.
void ExpectRunUndone(const char* kept = "") {
  EXPECT_EQ(ReadValue(Classes, ".lzh", nullptr), Sz(Foreign));
  for (const char* key : {CLSID_KEY, "lzhfile", "Directory\\shellex\\DragDropHandlers"})
    EXPECT_FALSE(KeyExists(Classes, key)) << key;
  EXPECT_FALSE(KeyExists(Machine, Uninstall));
  for (const char* name : {"TANUFOLD.DLL", "TNSETUP.EXE", "TANUFOLD.HLP", "TANUFHLP.TMP"})
    EXPECT_EQ(Exists(ShellExtFile(name)), std::string(name) == kept) << name;
  EXPECT_EQ(PendingRenames(), Texts{});
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_EQ(ReadText(std::string(windows) + "\\WININIT.INI").find(".TMP"), std::string::npos);
}

TEST_F(InstallerTest, ARowThatCannotBeWrittenUndoesTheRunAndCopiesNothing) {
  ASSERT_TRUE(SetSz(Classes, ".lzh", nullptr, Foreign));
  ASSERT_TRUE(LockKey(Classes, "Folder\\shellex\\DragDropHandlers\\LzhExtract"));
  Expect("", {IDYES, IDOK}, {IDS_ASK_INSTALL, IDS_REGISTRY_WRITE}, 2);
  ExpectRunUndone();
}

TEST_F(InstallerTest, AFileThatCannotBeCopiedUndoesTheRunsRowsAndCopies) {
  for (bool windows95 : {false, true}) {
    SCOPED_TRACE(windows95 ? "95" : "NT");
    ResetInstallation();
    PretendWindows95(windows95);
    ASSERT_TRUE(SetSz(Classes, ".lzh", nullptr, Foreign));
    // Folders stand where TANUFOLD.CNT and its temporary copy would go; an old TANUFOLD.HLP
    // makes its copy a replacement at the restart, which the failed run must take back.
    CreateDirectoryA((SystemDirectory() + "\\SHELLEXT").c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryA(ShellExtFile("TANUFOLD.CNT").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(ShellExtFile("TANUFCNT.TMP").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(ShellExtFile("TANUFOLD.HLP"), "old"));
    Expect("", {IDYES, IDOK}, {IDS_ASK_INSTALL, IDS_COPY_FAILED}, 2);
    ExpectRunUndone("TANUFOLD.HLP");
    EXPECT_EQ(ReadText(ShellExtFile("TANUFOLD.HLP")), "old");
  }
}

TEST_F(InstallerTest, ARowThatCannotBeRemovedKeepsTheFiles) {
  Install();
  ASSERT_TRUE(LockKey(Classes, "lzhfile\\DefaultIcon"));
  Expect("/remove", {IDYES, IDOK}, {IDS_ASK_REMOVE, IDS_REGISTRY_REMOVE}, 2);
  for (const char* name : Files) EXPECT_TRUE(Exists(ShellExtFile(name))) << name;
}

TEST_F(InstallerTest, TheSourcesComeFromTheInstallersFolderAndAreCheckedFirst) {
  // Alone in a folder, the installer has nothing to install, even with the whole package in its
  // current folder.
  TempFolder scratch;
  std::string folder = scratch.path();
  ASSERT_TRUE(CopyFileA(PackageFile("TNSETUP.EXE").c_str(), (folder + "\\TNSETUP.EXE").c_str(),
                        FALSE));
  RunOptions options;
  options.currentFolder = PackageFile("");
  SetupRun run = RunSetup(folder + "\\TNSETUP.EXE", "", {IDOK}, options);
  char expected[2048];
  std::snprintf(expected, sizeof expected, Message(IDS_SOURCE_MISSING).c_str(),
                (folder + "\\TANUFOLD.DLL").c_str());
  EXPECT_EQ(run.texts, Texts{expected});
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_FALSE(KeyExists(Classes, CLSID_KEY));
  EXPECT_FALSE(Exists(SystemDirectory() + "\\SHELLEXT"));

  // From read-only media the files come read-only; removal still deletes them at once.
  for (const char* name : Files) {
    const std::string copy = folder + "\\" + name;
    ASSERT_TRUE(CopyFileA(PackageFile(name).c_str(), copy.c_str(), FALSE));
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_READONLY);
  }
  run = RunSetup(folder + "\\TNSETUP.EXE", "", {IDYES, IDOK});
  EXPECT_EQ(run.texts, (Texts{Message(IDS_ASK_INSTALL), Message(IDS_INSTALLED)})) << run.problem;
  Expect("/remove", {IDYES}, {IDS_ASK_REMOVE}, 0);
  for (const char* name : Files) {
    EXPECT_FALSE(Exists(ShellExtFile(name))) << name;
    SetFileAttributesA((folder + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(InstallerTest, WithoutTheRightToRestartMessage9ReplacesTheQuestion) {
  Install();
  HANDLE token = nullptr, restricted = nullptr;
  LUID_AND_ATTRIBUTES shutdown = {};
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token));
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &shutdown.Luid));
  ASSERT_TRUE(CreateRestrictedToken(token, 0, 0, nullptr, 1, &shutdown, 0, nullptr, &restricted));
  RunOptions options;
  options.token = restricted;
  Expect("", {IDYES, IDOK}, {IDS_ASK_INSTALL, IDS_NO_RESTART_RIGHT}, 2, options);
  EXPECT_EQ(PendingRenames().size(), 10u) << "the renames wait for the user's restart";
  CloseHandle(restricted);
  CloseHandle(token);
}

}  // namespace
