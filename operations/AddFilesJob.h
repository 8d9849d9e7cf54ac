// Adding files to an archive: the walk over dropped files and folders, the questions when a name
// is taken, the compression of every file into a staged change, one Commit at the end and the
// announcement of the change. A job started by a drop runs on a worker thread of its own, so the
// shell's thread returns at once; when compressing takes longer than the DialogDelay setting a
// progress dialog with Cancel opens on a third thread.
//
// What the threads share: the progress record (atomics and one small lock, see ProgressDialog.h),
// the Archive (its own lock), and the folder object, which the job holds by a reference. The job
// never touches the view object: it posts the refresh command to the view's window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "archive/ArchiveEntry.h"
#include "archive/MemberTable.h"
#include "archive/PathName.h"
#include "archive/StringList.h"
#include "operations/ProgressDialog.h"

class Archive;
class ArchiveFolder;

// What became of a job, for the closing message and for tests.
struct AddFilesOutcome {
  std::uint32_t staged = 0;   // files and folder entries handed to the archive and staged
  std::uint32_t failed = 0;   // items that could not be staged (unreadable, too large, paths too
                              // long for a path buffer, no temporary file)
  std::uint32_t skipped = 0;  // items the user chose to skip in a name question
  bool cancelled = false;     // Cancel was pressed in the progress dialog
  bool committed = false;     // the archive was rewritten with the staged items
  bool dialogShown = false;   // the progress dialog was started
};

class AddFilesJob {
 public:
  // A job adding to `folder`'s archive under `path` (the folder inside the archive: empty or
  // ending with a backslash), or, without a folder, to the root of the archive file at `path`.
  // `owner` is the view's window (may be null): it owns the questions and the progress dialog and
  // receives the refresh command. Null when the archive cannot be opened, the target does not fit
  // a path buffer, or memory is short.
  static AddFilesJob* Create(HWND owner, ArchiveFolder* folder, const char* path);
  ~AddFilesJob();
  AddFilesJob(const AddFilesJob&) = delete;
  AddFilesJob& operator=(const AddFilesJob&) = delete;

  // Appends the paths of a CF_HDROP medium to the source list (see ReadDropList). With `async`
  // the job then runs on a worker thread of its own and deletes itself there: the caller must not
  // use it after this call (when no thread can be started it runs here and is deleted before this
  // returns). Otherwise the caller runs nothing more: Run has run, and the caller deletes the job.
  // False when the medium is not a well-formed file list; with `async` the job is deleted then too.
  bool AddDropList(HGLOBAL medium, bool async);
  // Appends one source path; false when it does not fit a path buffer or memory is short.
  bool AddSource(const char* path);

  // Adds the files and folders matching `source` under `targetFolder` (empty or ending with a
  // backslash), recursing into folders. 0 when nothing matched.
  int AddPath(const char* source, const char* targetFolder);

  // Adds every source in order, commits once, tells a failure to the user, announces the change.
  // True when anything was staged.
  bool Run();

  // The encoder's progress callback; nonzero cancels the file being compressed.
  static int OnProgress(void* context, std::uint32_t packed, std::uint32_t original);

  const AddFilesOutcome& Outcome() const { return outcome_; }
  // The job's share of the progress dialog (tests read and press it through this).
  const std::shared_ptr<ProgressShared>& Progress() const { return progress_; }

 private:
  AddFilesJob() = default;
  bool Attach(HWND owner, ArchiveFolder* folder, const char* path);
  static DWORD WINAPI WorkerMain(void* job);

  // The name-collision questions for an item that would be stored as targetFolder + `name`.
  // False when the user skips the item; `name` (260 bytes) receives the name to store it under.
  bool SettleName(const char* itemName, bool isFolder, const char* targetFolder, char* name);
  // True when `path` is taken by a member of the snapshot or by an item this job staged.
  bool Taken(const char* path) const;
  // Replaces `name` by the last component of the member (or staged item) that takes `path` (a
  // folder key ending with a backslash when `folder`), so a replaced member or a merged folder
  // keeps its spelling; `name` stays when none does.
  void TakenName(const char* path, bool folder, char* name) const;
  // Fills and stages the entry of one found item; false when it could not be staged.
  bool StageItem(const WIN32_FIND_DATAA& found, const char* targetPath, const char* sourcePath);
  void ShowItemTexts(const char* sourcePath, const char* targetPath, std::uint32_t size);
  // One message at the end: the archive could not be rewritten (nothing was added), was left
  // damaged, or some items could not be added.
  void TellFailures(bool notWritten, bool damaged);
  void Announce();
  void Unstage();

  DWORD startTick_ = 0;
  std::int32_t delaySeconds_ = -1;  // -1: the progress dialog is never shown
  std::shared_ptr<ProgressShared> progress_;
  ProgressDialog dialog_;
  bool dialogStarted_ = false;  // the dialog was asked for (at most once per job)
  bool overwriteAll_ = false;
  bool stagedSinceCommit_ = false;
  HWND owner_ = nullptr;
  ArchiveFolder* folder_ = nullptr;  // one reference held
  Archive* archive_ = nullptr;       // one reference held
  std::shared_ptr<const MemberTable> snapshot_;  // the catalogue when the job was made
  char targetFolder_[MaxPath] = "";
  bool onWorker_ = false;
  StringList sources_;
  // Member paths this job staged (folders with their trailing backslash): later items of the same
  // job collide with them, and a failed Commit unstages them.
  StringList stagedPaths_;
  AddFilesOutcome outcome_;
};
