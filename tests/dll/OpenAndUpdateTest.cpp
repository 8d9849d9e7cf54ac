// Open-and-update end to end: the watcher process (rundll32 on the built library) extracts a
// member, starts a stand-in application on it, asks only when the file really changed, and
// compresses it back on "Yes"; the temporary file is gone afterwards in every case.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/EntryEnumerator.h"
#include "commands/OpenAndUpdate.h"
#include "dll/FolderTestSupport.h"
#include "namespace/ArchiveFolder.h"

using namespace foldertest;

namespace {

// A path from the environment as Wine sees it (the host's root is drive Z:).
std::string WindowsPath(const char* variable) {
  const char* path = std::getenv(variable);
  std::string windows = path && path[0] == '/' ? std::string("Z:") + path : (path ? path : "");
  for (char& c : windows)
    if (c == '/') c = '\\';
  return windows;
}

// The watcher's message box ("更新の確認"), waited for up to `seconds`.
HWND FindQuestion(int seconds) {
  const char caption[] = "\x8d\x58\x90\x56\x82\xcc\x8a\x6d\x94\x46";  // 更新の確認
  for (int i = 0; i < seconds * 10; ++i) {
    if (HWND box = FindWindowA(nullptr, caption)) return box;
    Sleep(100);
  }
  return nullptr;
}

// The watcher's window while the member is edited ("編集中: NAME"), waited for up to `seconds`.
HWND FindEditing(const char* name, int seconds) {
  const std::string caption = std::string("\x95\xd2\x8f\x57\x92\x86: ") + name;  // 編集中
  for (int i = 0; i < seconds * 10; ++i) {
    if (HWND window = FindWindowA(nullptr, caption.c_str())) return window;
    Sleep(100);
  }
  return nullptr;
}

bool WaitFor(int seconds, bool (*done)(const std::string&), const std::string& path) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (done(path)) return true;
    Sleep(100);
  }
  return false;
}

class OpenAndUpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    // The watcher must start from a library whose path has a space in it, as installed ones do.
    const std::string folder = dir_ / "Program Files";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string copy = folder + "\\tanufold.dll";
    ASSERT_TRUE(CopyFileA(WindowsPath("TANUFOLD_DLL").c_str(), copy.c_str(), FALSE));
    spacedEditor_ = folder + "\\update_editor.exe";
    ASSERT_TRUE(CopyFileA(WindowsPath("UPDATE_EDITOR").c_str(), spacedEditor_.c_str(), FALSE));
    library_ = LoadLibraryA(copy.c_str());
    ASSERT_NE(library_, nullptr);
    archivePath_ = dir_ / "UPDATE.LZH";
  }
  void TearDown() override { FreeLibrary(library_); }

  // Launches the watcher with the stand-in application in `mode`; true once it has run.
  bool Launch(const std::string& commandTemplate) {
    Archive* archive = new Archive();
    archive->Retain();
    EXPECT_EQ(archive->OpenFile(archivePath_.c_str()), ResultOk);
    // The watcher is the built library in rundll32, found through the module's own path.
    HINSTANCE own = ModuleInstance;
    ModuleInstance = library_;
    int started = LaunchForUpdate(commandTemplate.c_str(), "DOC\\NOTE.TXT", archive);
    ModuleInstance = own;
    archive->Release();
    return started == 1;
  }
  // The stand-in editor's verb; `spaced`: the copy under "Program Files".
  std::string Template(const char* mode, bool spaced = false) {
    return "\"" + (spaced ? spacedEditor_ : WindowsPath("UPDATE_EDITOR")) + "\" " + mode +
           " \"%1\" \"" + marker_ + "\"";
  }
  // The member as the archive holds it now.
  std::string Member(ArchiveEntry* entry) {
    Archive* archive = new Archive();
    archive->Retain();
    archive->OpenFile(archivePath_.c_str());
    platform::MemoryBlock block = platform::NoBlock;
    std::string text;
    if (archive->DecodeMember("DOC\\NOTE.TXT", &block, entry) == 0) {
      text.assign(static_cast<const char*>(platform::LockBlock(block)), entry->originalSize);
      platform::UnlockBlock(block);
      platform::FreeBlock(block);
    }
    archive->Release();
    return text;
  }

  TempFolder dir_;
  HMODULE library_ = nullptr;
  std::string archivePath_, temp_, spacedEditor_, marker_ = dir_ / "ran";
};

TEST_F(OpenAndUpdateTest, AsksOnlyWhenTheFileChangedAndStoresItOnYes) {
  struct Case {
    const char* mode;
    std::vector<int> answers;  // to the watcher's message boxes, in order; none expected if empty
    bool locked;               // another program holds the archive when the answer comes
    const char* expected;
    bool spaced = false;       // the editor lives under "Program Files"
  } cases[] = {
      {"keep", {}, false, "original"},
      // Saved within the same second, or with its time put back: still a change.
      {"same", {IDYES}, false, "edited by the application"},
      {"putback", {IDYES}, false, "ORIGINAL"},
      {"rewrite", {IDNO}, false, "original"},
      {"rewrite", {IDYES}, false, "edited by the application"},
      {"rewrite", {IDYES}, false, "edited by the application", true},
      // The editor hands the file on and exits; the save comes 3 s later.
      {"handoff", {IDYES}, false, "edited by the application"},
      // The archive cannot take the edits: they stay in the temporary file, and one message
      // tells the user so and where.
      {"rewrite", {IDYES, IDOK}, true, "original"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.answers.size()));
    ASSERT_TRUE(WriteArchive(archivePath_, {File("A.TXT", "first"), File("DOC\\NOTE.TXT", "original", 1600000000)}));
    DeleteFileA(marker_.c_str());
    ASSERT_TRUE(Launch(Template(c.mode, c.spaced)));
    ASSERT_TRUE(WaitFor(60, [](const std::string& p) { return Exists(p); }, marker_))
        << "the application never ran";
    temp_ = ReadText(marker_);
    HANDLE holder = INVALID_HANDLE_VALUE;
    if (c.locked) {
      holder = CreateFileA(archivePath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_TRUE(LockFile(holder, 0, 0, 0xFFFFFFFF, 0));
    }
    for (int answer : c.answers) {
      HWND box = FindQuestion(30);
      ASSERT_NE(box, nullptr);
      PostMessageA(box, WM_COMMAND, answer, 0);
      for (int i = 0; i < 50 && IsWindow(box); ++i) Sleep(100);
    }
    if (!c.locked) {
      // The watcher keeps watching until the user says the editing is done.
      EXPECT_TRUE(Exists(temp_));
      HWND editing = FindEditing("NOTE.TXT", 30);
      ASSERT_NE(editing, nullptr);
      PostMessageA(editing, WM_COMMAND, IDOK, 0);
      EXPECT_TRUE(WaitFor(30, [](const std::string& p) { return !Exists(p); }, temp_))
          << "the temporary file is deleted";
    }
    EXPECT_EQ(FindQuestion(1), nullptr) << "no question left open";
    if (holder != INVALID_HANDLE_VALUE) {
      UnlockFile(holder, 0, 0, 0xFFFFFFFF, 0);
      CloseHandle(holder);
      EXPECT_EQ(ReadText(temp_), "edited by the application") << "the edits are kept";
      SetFileAttributesA(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(temp_.c_str());
    }
    ArchiveEntry entry{};
    EXPECT_EQ(Member(&entry), c.expected);
    EXPECT_EQ(entry.originalSize, std::strlen(c.expected));
    // Saved later than the member's time, unless within its second or with the time put back.
    const std::string mode = c.mode;
    if (std::string(c.expected) != "original" && mode != "same" && mode != "putback")
      EXPECT_GT(entry.modifyTime, 1600000000u);
    else
      EXPECT_EQ(entry.modifyTime, 1600000000u) << "the time the file has (same second or put back)";
  }
}

// A registry verb chosen in the item menu opens the member in its program through the watcher.
TEST_F(OpenAndUpdateTest, ARegistryVerbOfTheItemMenuOpensTheMemberThroughTheWatcher) {
  const std::string command = Template("rewrite");
  HKEY key = nullptr;
  for (const auto& row : {std::pair<std::string, std::string>{".tnvu", "tnvufile"},
                          {"tnvufile\\shell\\edit", "&Edit"},
                          {"tnvufile\\shell\\edit\\command", command}}) {
    RegCreateKeyExA(HKEY_CLASSES_ROOT, row.first.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                    nullptr);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(row.second.c_str()),
                   static_cast<DWORD>(row.second.size() + 1));
    RegCloseKey(key);
  }
  ASSERT_TRUE(WriteArchive(archivePath_, {File("DOC\\NOTE.TNVU", "original", 1600000000)}));
  DeleteFileA(marker_.c_str());
  LPITEMIDLIST list = ShellIdListOf(archivePath_);
  void* out = nullptr;
  ASSERT_EQ(ArchiveFolder::Create(IID_IShellFolder, &out), S_OK);
  auto* root = static_cast<ArchiveFolder*>(static_cast<IShellFolder*>(out));
  ASSERT_EQ(root->Initialize(list), S_OK);
  IShellFolder* doc = nullptr;
  HeldItem folder = ListedItem(root, "DOC");
  ASSERT_EQ(root->BindToObject(folder.list(), nullptr, IID_IShellFolder,
                               reinterpret_cast<void**>(&doc)),
            S_OK);
  HeldItem note = ListedItem(doc, "DOC\\NOTE.TNVU");
  LPCITEMIDLIST selection = note.list();
  IContextMenu* menu = nullptr;
  ASSERT_EQ(doc->GetUIObjectOf(nullptr, 1, &selection, IID_IContextMenu, nullptr,
                               reinterpret_cast<void**>(&menu)),
            S_OK);
  HMENU popup = CreatePopupMenu();
  menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
  // Invoked by the verb string the menu hands out, as callers through ShellExecuteEx do.
  char verb[80] = "";
  EXPECT_EQ(menu->GetCommandString(0, GCS_VERBA, nullptr, verb, sizeof verb), S_OK);
  EXPECT_STREQ(verb, "edit");
  CMINVOKECOMMANDINFO info = {sizeof info};
  info.lpVerb = verb;
  HINSTANCE own = ModuleInstance;
  ModuleInstance = library_;  // the watcher is the built library in rundll32
  EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
  ModuleInstance = own;
  DestroyMenu(popup);
  menu->Release();
  doc->Release();
  root->Release();
  CoTaskMemFree(list);
  ASSERT_TRUE(WaitFor(60, [](const std::string& p) { return Exists(p); }, marker_));
  temp_ = ReadText(marker_);
  HWND question = FindQuestion(30);
  ASSERT_NE(question, nullptr);
  PostMessageA(question, WM_COMMAND, IDYES, 0);
  HWND editing = FindEditing("NOTE.TNVU", 30);
  ASSERT_NE(editing, nullptr);
  PostMessageA(editing, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitFor(30, [](const std::string& p) { return !Exists(p); }, temp_));
  Archive* archive = new Archive();
  archive->Retain();
  archive->OpenFile(archivePath_.c_str());
  ArchiveEntry entry{};
  platform::MemoryBlock block = platform::NoBlock;
  ASSERT_EQ(archive->DecodeMember("DOC\\NOTE.TNVU", &block, &entry), 0);
  EXPECT_EQ(std::string(static_cast<const char*>(platform::LockBlock(block)), entry.originalSize),
            "edited by the application");
  platform::UnlockBlock(block);
  platform::FreeBlock(block);
  archive->Release();
}

TEST_F(OpenAndUpdateTest, AProgramThatCannotStartIsReportedAndLeavesNothing) {
  ASSERT_TRUE(WriteArchive(archivePath_, {File("DOC\\NOTE.TXT", "original")}));
  auto folders = [] {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(TempDirectory) + "TNV*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
      names.insert(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return names;
  };
  const std::set<std::string> before = folders();
  ASSERT_TRUE(Launch("\"Z:\\no\\such\\program.exe\" \"%1\""));
  HWND message = FindQuestion(60);
  ASSERT_NE(message, nullptr) << "the user is told";
  PostMessageA(message, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 300 && folders() != before; ++i) Sleep(100);
  EXPECT_EQ(folders(), before) << "the member's folder is gone";
}

TEST(BuildCommandLine, SplitsProgramAndArgumentsAndNeverOverruns) {
  struct Case {
    const char* commandTemplate;
    const char* application;
    const char* commandLine;
  } cases[] = {
      {"C:\\EDIT.EXE %1", "C:\\EDIT.EXE", "C:\\EDIT.EXE T.TXT"},
      {"\"C:\\Program Files\\ed.exe\" \"%1\"", "C:\\Program Files\\ed.exe",
       "\"C:\\Program Files\\ed.exe\" \"T.TXT\""},
      {"NOTEPAD.EXE /p %1", "NOTEPAD.EXE", "NOTEPAD.EXE /p T.TXT"},
      {"EDIT.EXE /p %1 100%% \"open", "EDIT.EXE", "EDIT.EXE /p T.TXT 100% \"open\""},
      {"EDIT.EXE %", "EDIT.EXE", "EDIT.EXE "},
  };
  for (const Case& c : cases) {
    char application[MAX_PATH], commandLine[512];
    ASSERT_TRUE(BuildCommandLine(c.commandTemplate, application, sizeof application, commandLine,
                                 sizeof commandLine, "T.TXT"))
        << c.commandTemplate;
    EXPECT_STREQ(application, c.application) << c.commandTemplate;
    EXPECT_STREQ(commandLine, c.commandLine) << c.commandTemplate;
  }
  // The member itself as the program is never started; a path with spaces stays one argument.
  char application[MAX_PATH], commandLine[64];
  EXPECT_FALSE(BuildCommandLine("\"%1\" %*", application, sizeof application, commandLine,
                                sizeof commandLine, "T.EXE"));
  ASSERT_TRUE(BuildCommandLine("E.EXE %1", application, sizeof application, commandLine,
                               sizeof commandLine, "C:\\My Temp\\T.TXT"));
  EXPECT_STREQ(commandLine, "E.EXE \"C:\\My Temp\\T.TXT\"");
  // However long the template and the path, the buffers are never passed.
  std::string longPath(400, 'p');
  EXPECT_FALSE(BuildCommandLine("E.EXE %1", application, sizeof application, commandLine,
                                sizeof commandLine, longPath.c_str()));
  EXPECT_STREQ(commandLine, "");
  EXPECT_FALSE(BuildCommandLine(std::string(100, 'x').c_str(), application, sizeof application,
                                commandLine, sizeof commandLine, "T"));
  std::uint32_t value = 0;
  EXPECT_TRUE(ParseHandleDigits("00aB12cD", &value));
  EXPECT_EQ(value, 0x00AB12CDu);
  EXPECT_FALSE(ParseHandleDigits("0000012g", &value));
  EXPECT_FALSE(ParseHandleDigits("123", &value));
}

}  // namespace
