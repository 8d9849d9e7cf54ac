// Dialogs 503, 121 and 124 shown for real and answered by the harness.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "namespace/ModuleState.h"
#include "operations/ConfirmationDialogs.h"
#include "resources/resource.h"
#include "ui/UiHarness.h"

namespace {

std::string Resource(UINT id) {
  char text[1024] = "";
  LoadStringA(ModuleInstance, id, text, sizeof text);
  return text;
}

std::string Filled(UINT id, const char* first, const char* second = "") {
  char text[2048];
  std::snprintf(text, sizeof text, Resource(id).c_str(), first, second);
  return text;
}

// Shift-JIS names whose second byte is a character forbidden in names: "ソ" is 0x83 0x5C ("\"),
// "ポ" is 0x83 0x7C ("|").
const char kSoTxt[] = "\x83\x5C.txt";
const char kPoTxt[] = "\x83\x7C\x83\x5C";

OverwriteRecord MakeOverwriteRecord(DWORD attributes) {
  OverwriteRecord record = {};
  lstrcpyA(record.newName, "report.doc");
  lstrcpyA(record.existingName, "report.doc");
  record.newTime = 1704164645;       // 2024-01-02 03:04:05 UTC, 12:04:05 in Tokyo
  record.newSize = 1536;
  record.existingTime = 1000000000;  // 2001-09-09 01:46:40 UTC, 10:46:40 in Tokyo
  record.existingSize = 100;
  record.existingAttributes = attributes;
  return record;
}

struct OverwriteSeen {
  std::string message, existing, fresh;
  bool existingIcon = false, newIcon = false;
};

int AnswerOverwrite(DWORD attributes, int button, OverwriteSeen* seen) {
  OverwriteRecord record = MakeOverwriteRecord(attributes);
  ui::Answerer answerer([&](HWND dialog) {
    if (seen) {
      seen->message = ui::Text(dialog, IDC_MESSAGE);
      seen->existing = ui::Text(dialog, IDC_EXISTING_TEXT);
      seen->fresh = ui::Text(dialog, IDC_NEW_TEXT);
      seen->existingIcon = SendDlgItemMessageA(dialog, IDC_EXISTING_ICON, STM_GETICON, 0, 0) != 0;
      seen->newIcon = SendDlgItemMessageA(dialog, IDC_NEW_ICON, STM_GETICON, 0, 0) != 0;
    }
    ui::Click(dialog, button);
  });
  int result = RunOverwriteDialog(nullptr, record);
  EXPECT_TRUE(answerer.Finish()) << answerer.Problem();
  return result;
}

TEST(OverwriteDialog, EachButtonGivesItsAnswer) {
  EXPECT_EQ(AnswerOverwrite(0, IDOK, nullptr), 1);
  EXPECT_EQ(AnswerOverwrite(0, IDC_ALL, nullptr), 2);
  EXPECT_EQ(AnswerOverwrite(0, IDNO, nullptr), 3);
  EXPECT_EQ(AnswerOverwrite(0, IDCANCEL, nullptr), 4);
}

TEST(OverwriteDialog, CallbackForExtractionMapsTheAnswers) {
  OverwriteRecord record = MakeOverwriteRecord(0);
  ui::Answerer answerer([](HWND dialog) { ui::Click(dialog, IDC_ALL); });
  EXPECT_EQ(AskOverwriteWithDialog(nullptr, record), OverwriteAnswer::All);
  EXPECT_TRUE(answerer.Finish()) << answerer.Problem();
  OverwriteCallback callback = AskOverwriteWithDialog;  // fits the engine's callback type
  ui::Answerer closer([](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); });
  EXPECT_EQ(callback(nullptr, record), OverwriteAnswer::Cancel) << "closing the window stops";
  EXPECT_TRUE(closer.Finish()) << closer.Problem();
}

TEST(OverwriteDialog, WordingFollowsSystemThenReadOnlyThenFolder) {
  OverwriteSeen seen;
  AnswerOverwrite(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, IDNO, &seen);
  EXPECT_EQ(seen.message, Filled(IDS_EXISTING_SYSTEM, "report.doc"));
  AnswerOverwrite(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY, IDNO, &seen);
  EXPECT_EQ(seen.message, Filled(IDS_EXISTING_READ_ONLY, "report.doc"));
  AnswerOverwrite(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE, IDNO, &seen);
  EXPECT_EQ(seen.message, Filled(IDS_EXISTING_FOLDER, "report.doc"));
  AnswerOverwrite(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, IDNO, &seen);
  EXPECT_EQ(seen.message, Filled(IDS_EXISTING_FILE, "report.doc"));
  EXPECT_NE(seen.message.find("report.doc"), std::string::npos);
}

TEST(OverwriteDialog, DescribesSizeAndLocalTimeOfBothFiles) {
  OverwriteSeen seen;
  AnswerOverwrite(0, IDNO, &seen);
  // "ｻｲｽﾞ: " size "\r\n" "更新日時: " long date "、" time of day
  const std::string sizeLabel = "\xbb\xb2\xbd\xde: ";
  const std::string dateLabel = "\x8d\x58\x90\x56\x93\xfa\x8e\x9e: ";
  EXPECT_EQ(seen.fresh.rfind(sizeLabel + "1.50KB\r\n" + dateLabel, 0), 0u) << seen.fresh;
  EXPECT_EQ(seen.existing.rfind(sizeLabel + "100 \xca\xde\xb2\xc4\r\n" + dateLabel, 0), 0u)
      << seen.existing;
  EXPECT_NE(seen.fresh.find("2024"), std::string::npos) << seen.fresh;
  EXPECT_NE(seen.fresh.find("\x81\x41" "12:04:05"), std::string::npos) << seen.fresh;
  EXPECT_NE(seen.existing.find("2001"), std::string::npos) << seen.existing;
  EXPECT_NE(seen.existing.find("\x81\x41" "10:46:40"), std::string::npos) << seen.existing;
  EXPECT_TRUE(seen.existingIcon);
  EXPECT_TRUE(seen.newIcon);
}

NameConflictRecord MakeNameRecord(const char* item, const char* shown, int form) {
  NameConflictRecord record = {};
  lstrcpyA(record.itemName, item);
  lstrcpyA(record.shownName, shown);
  lstrcpyA(record.nameBuffer, item);
  record.form = form;
  record.allAnswer = 7;  // dialog 124 must clear it
  return record;
}

// Types `text` into the name edit and reports whether the confirming button is then enabled.
bool OkAfterTyping(HWND dialog, const char* text) {
  ui::SetText(dialog, IDC_NEW_NAME, text);
  return ui::Enabled(dialog, IDOK);
}

TEST(FolderConflictDialog, FolderFormShowsTheConflictAndStartsWithTheTakenName) {
  NameConflictRecord record = MakeNameRecord("data", "docs\\data", 1);
  std::string message, edit;
  bool okAtStart = true;
  HICON icon = nullptr;
  ui::Answerer answerer([&](HWND dialog) {
    message = ui::Text(dialog, IDC_MESSAGE);
    edit = ui::Text(dialog, IDC_NEW_NAME);
    okAtStart = ui::Enabled(dialog, IDOK);
    icon = reinterpret_cast<HICON>(SendDlgItemMessageA(dialog, IDC_DIALOG_ICON, STM_GETICON, 0, 0));
    ui::Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(RunFolderConflictDialog(nullptr, record), 2);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_EQ(message, Filled(IDS_FOLDER_EXISTS, "docs\\data", "data"));
  EXPECT_EQ(edit, "data");
  EXPECT_FALSE(okAtStart);
  EXPECT_EQ(icon, LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_FOLDER_TAKEN)));
}

TEST(FolderConflictDialog, FileFormUsesItsOwnWordingAndIcon) {
  NameConflictRecord record = MakeNameRecord("data", "data", 0);
  std::string message;
  HICON icon = nullptr;
  ui::Answerer answerer([&](HWND dialog) {
    message = ui::Text(dialog, IDC_MESSAGE);
    icon = reinterpret_cast<HICON>(SendDlgItemMessageA(dialog, IDC_DIALOG_ICON, STM_GETICON, 0, 0));
    ui::Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(RunFolderConflictDialog(nullptr, record), 2);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_EQ(message, Filled(IDS_FILE_EXISTS_AS_FOLDER, "data", "data"));
  EXPECT_EQ(icon, LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_FILE_TAKEN)));
}

TEST(FolderConflictDialog, ConfirmsOnlyAcceptableNewNames) {
  // A new name is one valid path component: anything else would write a member that escapes its
  // folder, names no file, or comes back from the disk as another name.
  const std::pair<const char*, bool> names[] = {
      {"DATA.TXT", false}, {"a\\b", false}, {"a/b", false}, {"c:x", false},
      {"say\"hi\"", false}, {"a|b", false}, {"", false}, {"a*?.txt", false}, {"a?", false},
      {"..", false}, {".", false}, {"name.", false}, {"name ", false}, {"CON", false},
      {"nul.txt", false}, {"Lpt1", false}, {"tab\there", false}, {kSoTxt, true}, {kPoTxt, true},
      {"COM10", true}, {".profile", true}, {"Data2.txt", true},
  };
  NameConflictRecord record = MakeNameRecord("Data.txt", "Data.txt", 1);
  std::vector<bool> enabled;
  ui::Answerer answerer([&](HWND dialog) {
    for (const auto& name : names) enabled.push_back(OkAfterTyping(dialog, name.first));
    ui::Click(dialog, IDOK);
  });
  EXPECT_EQ(RunFolderConflictDialog(nullptr, record), 1);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  ASSERT_EQ(enabled.size(), std::size(names));
  for (std::size_t i = 0; i < enabled.size(); ++i)
    EXPECT_EQ(enabled[i], names[i].second) << "\"" << names[i].first << "\"";
  EXPECT_STREQ(record.nameBuffer, "Data2.txt");
}

TEST(FolderConflictDialog, ShiftJisNameWithBackslashTrailByteIsStoredWhole) {
  NameConflictRecord record = MakeNameRecord("a.txt", "a.txt", 0);
  bool enterWhileGreyed = false;
  ui::Answerer answerer([&](HWND dialog) {
    ui::Command(dialog, IDOK);  // Enter while the name is still the taken one
    enterWhileGreyed = IsWindow(dialog) && IsWindowVisible(dialog);
    ui::SetText(dialog, IDC_NEW_NAME, kSoTxt);
    ui::Click(dialog, IDOK);
  });
  EXPECT_EQ(RunFolderConflictDialog(nullptr, record), 1);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_TRUE(enterWhileGreyed) << "a greyed button must not confirm";
  EXPECT_STREQ(record.nameBuffer, kSoTxt);
}

struct FileConflictStart {
  std::string message, edit;
  bool overwrite = false, rename = true, editEnabled = true, labelEnabled = true,
       keepNewer = true, keepNewerAll = true, ok = false;
};

TEST(FileConflictDialog, StartsWithOverwriteSelectedAndRenameGreyed) {
  NameConflictRecord record = MakeNameRecord("notes.txt", "notes.txt", 0);
  FileConflictStart start;
  ui::Answerer answerer([&](HWND dialog) {
    start.message = ui::Text(dialog, IDC_MESSAGE);
    start.edit = ui::Text(dialog, IDC_NEW_NAME);
    start.overwrite = ui::Checked(dialog, IDC_OVERWRITE);
    start.rename = ui::Checked(dialog, IDC_RENAME);
    start.editEnabled = ui::Enabled(dialog, IDC_NEW_NAME);
    start.labelEnabled = ui::Enabled(dialog, IDC_NEW_NAME_LABEL);
    start.keepNewer = ui::Enabled(dialog, IDC_KEEP_NEWER);
    start.keepNewerAll = ui::Enabled(dialog, IDC_KEEP_NEWER_ALL);
    start.ok = ui::Enabled(dialog, IDOK);
    ui::Click(dialog, IDOK);
  });
  EXPECT_EQ(RunFileConflictDialog(nullptr, record), 1);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_EQ(start.message, Filled(IDS_FILE_EXISTS, "notes.txt"));
  EXPECT_EQ(start.edit, "notes.txt");
  EXPECT_TRUE(start.overwrite);
  EXPECT_FALSE(start.rename);
  EXPECT_FALSE(start.editEnabled);
  EXPECT_FALSE(start.labelEnabled);
  EXPECT_FALSE(start.keepNewer);
  EXPECT_FALSE(start.keepNewerAll);
  EXPECT_TRUE(start.ok);
  EXPECT_STREQ(record.nameBuffer, "notes.txt");
  EXPECT_EQ(record.allAnswer, 0);
}

TEST(FileConflictDialog, OverwriteAllSetsTheAllAnswer) {
  NameConflictRecord record = MakeNameRecord("notes.txt", "notes.txt", 0);
  ui::Answerer answerer([&](HWND dialog) {
    ui::Click(dialog, IDC_ALL);
    ui::Click(dialog, IDOK);
  });
  EXPECT_EQ(RunFileConflictDialog(nullptr, record), 1);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_EQ(record.allAnswer, 1);
  EXPECT_STREQ(record.nameBuffer, "notes.txt");
}

TEST(FileConflictDialog, KeepNewerChoicesStayDisabled) {
  NameConflictRecord record = MakeNameRecord("notes.txt", "notes.txt", 0);
  bool keepNewerChecked = true, stillOverwrite = false;
  ui::Answerer answerer([&](HWND dialog) {
    ui::Click(dialog, IDC_KEEP_NEWER);
    keepNewerChecked = ui::Checked(dialog, IDC_KEEP_NEWER);
    stillOverwrite = ui::Checked(dialog, IDC_OVERWRITE);
    ui::Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(RunFileConflictDialog(nullptr, record), 2);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_FALSE(keepNewerChecked);
  EXPECT_TRUE(stillOverwrite);
}

TEST(FileConflictDialog, RenameEnablesTheEditAndChecksTheNewName) {
  NameConflictRecord record = MakeNameRecord("notes.txt", "notes.txt", 0);
  bool editEnabled = false, okSameName = true, okOtherCase = true, okForbidden = true,
       okTrailByte = false, okAfterOverwrite = false, editAfterOverwrite = true, okNew = false;
  ui::Answerer answerer([&](HWND dialog) {
    ui::Click(dialog, IDC_RENAME);
    editEnabled = ui::Enabled(dialog, IDC_NEW_NAME) && ui::Enabled(dialog, IDC_NEW_NAME_LABEL);
    okSameName = ui::Enabled(dialog, IDOK);
    okOtherCase = OkAfterTyping(dialog, "NOTES.TXT");
    okForbidden = OkAfterTyping(dialog, "notes<2>.txt") || OkAfterTyping(dialog, "..");
    okTrailByte = OkAfterTyping(dialog, kSoTxt);
    ui::Click(dialog, IDC_OVERWRITE);
    okAfterOverwrite = ui::Enabled(dialog, IDOK);
    editAfterOverwrite = ui::Enabled(dialog, IDC_NEW_NAME);
    ui::Click(dialog, IDC_RENAME);
    okNew = OkAfterTyping(dialog, "notes (2).txt");
    ui::Click(dialog, IDOK);
  });
  EXPECT_EQ(RunFileConflictDialog(nullptr, record), 1);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_TRUE(editEnabled);
  EXPECT_FALSE(okSameName);
  EXPECT_FALSE(okOtherCase);
  EXPECT_FALSE(okForbidden);
  EXPECT_TRUE(okTrailByte);
  EXPECT_TRUE(okAfterOverwrite);
  EXPECT_FALSE(editAfterOverwrite);
  EXPECT_TRUE(okNew);
  EXPECT_STREQ(record.nameBuffer, "notes (2).txt");
  EXPECT_EQ(record.allAnswer, 0);
}

TEST(FileConflictDialog, OverwriteAfterEditingKeepsTheCollidingName) {
  NameConflictRecord record = MakeNameRecord("notes.txt", "notes.txt", 0);
  ui::Answerer answerer([&](HWND dialog) {
    ui::Click(dialog, IDC_RENAME);
    ui::SetText(dialog, IDC_NEW_NAME, "other.txt");
    ui::Click(dialog, IDC_OVERWRITE);
    ui::Click(dialog, IDOK);
  });
  EXPECT_EQ(RunFileConflictDialog(nullptr, record), 1);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_STREQ(record.nameBuffer, "notes.txt") << "the member is replaced, not renamed";
}

TEST(FileConflictDialog, CancelSkipsTheItem) {
  NameConflictRecord record = MakeNameRecord("notes.txt", "notes.txt", 0);
  ui::Answerer answerer([&](HWND dialog) {
    ui::Click(dialog, IDC_RENAME);
    ui::SetText(dialog, IDC_NEW_NAME, "x.txt");
    ui::Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(RunFileConflictDialog(nullptr, record), 2);
  ASSERT_TRUE(answerer.Finish()) << answerer.Problem();
  EXPECT_EQ(record.allAnswer, 0);
}

}  // namespace

namespace {

// A library whose templates cannot be found (another module in its place) shows no dialog.
class MissingTemplates {
 public:
  MissingTemplates() : saved_(ModuleInstance) { ModuleInstance = GetModuleHandleA("kernel32.dll"); }
  ~MissingTemplates() { ModuleInstance = saved_; }

 private:
  HINSTANCE saved_;
};

TEST(ConfirmationDialogs, UnshowableDialogsNeitherOverwriteNorStore) {
  OverwriteRecord overwrite = MakeOverwriteRecord(0);
  NameConflictRecord name = MakeNameRecord("a.txt", "a.txt", 0);
  MissingTemplates missing;
  EXPECT_EQ(RunOverwriteDialog(nullptr, overwrite), 4);
  EXPECT_EQ(RunFolderConflictDialog(nullptr, name), 2);
  EXPECT_EQ(RunFileConflictDialog(nullptr, name), 2);
}

}  // namespace
