// Adding files to an archive: the walk over dropped files and folders, the questions when a name
// is taken, the compression of every file into a staged change, one Commit at the end and the
// announcement of the change. The walk and the questions go one item at a time; files whose names
// are settled wait in a batch that is compressed on a pool of threads (one per core) and staged in
// the order of the walk. A job started by a drop runs on a worker thread of its own, so the
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
#include <string>
#include <utility>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/ArchiveRewrite.h"
#include "archive/ParallelStager.h"
#include "archive/PathName.h"
#include "archive/StringList.h"
#include "operations/DropList.h"
#include "operations/ProgressDialog.h"
#include "operations/TakenNames.h"

class Archive;
class ArchiveFolder;

// What became of a job, for the closing message and for tests.
struct AddFilesOutcome {
  std::uint32_t staged = 0;   // files and folder entries handed to the archive and staged
  std::uint32_t failed = 0;   // items given that were not added (each listed in notAdded)
  std::uint32_t skipped = 0;  // items the user chose to skip in a name question
  bool cancelled = false;     // Cancel was pressed in the progress dialog
  bool committed = false;     // the archive was rewritten with the staged items
  bool dialogShown = false;   // the progress dialog was started
  bool notWritable = false;   // the archive could not be opened for writing: nothing was done
  std::vector<NotAddedItem> notAdded;  // what was not added and why, in the order met
};

// True when `delaySeconds` (the DialogDelay setting; -1: never) have passed between the tick
// counts `start` and `now`, also when the counter wrapped in between.
bool DelayPassed(DWORD start, DWORD now, int delaySeconds);

// True when the archive file at `path` can be opened for writing now (not read-only, not held
// deny-write by another program).
bool ArchiveWritable(const char* path);

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

  // Appends the paths of a CF_HDROP medium to the source list (see ReadDropList); the names it
  // cannot take are told at the end with the rest. With `async` the job then runs on a worker
  // thread of its own and deletes itself there: the caller must not use it after this call (when
  // no thread can be started it runs here and is deleted before this returns). Otherwise Run has
  // run when this returns, and the caller deletes the job. False when the medium is not a
  // well-formed file list; with `async` the job is deleted then too.
  bool AddDropList(HGLOBAL medium, bool async);
  // Appends one source path; false when it does not fit a path buffer or memory is short.
  bool AddSource(const char* path);
  // Threads that compress the batches (0, the default: one per core).
  void SetThreads(unsigned threads) { threads_ = threads; }

  // Adds the files and folders matching `source` under `targetFolder` (empty or ending with a
  // backslash), recursing into folders but never into links, and stages them. 0 when nothing
  // matched (the source is then listed as not found).
  int AddPath(const char* source, const char* targetFolder);

  // Adds every source in order, commits once, tells what was not added and a failed commit,
  // announces the change. True when nothing failed: every item was added or skipped by the user,
  // and what was staged was written.
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
  // The owner of the questions, the message and the progress dialog: the view's window while
  // it exists.
  HWND Owner() const;

  // Identity of a folder on disk, to notice a walk that comes back to a folder it is inside.
  struct FolderChain {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    const FolderChain* parent;
  };
  // AddPath below the folders of `chain`.
  int Walk(const char* source, const char* targetFolder, const FolderChain* chain);
  // One found item: the name questions, staging, and for a folder its contents.
  void AddItem(const WIN32_FIND_DATAW& found, const char* name, const char* sourcePath,
               const char* targetFolder, const FolderChain* chain);
  // What takes targetFolder + `name`, read under the archive's lock.
  TakenNames::Taker Look(const char* targetFolder, const char* name);
  // The name questions for an item to be stored as targetFolder + `name` (260 bytes, in: the
  // name to try, out: the name to store it under). False when the user skips the item;
  // `*mustBeNew` tells whether the name was free (true) or is to replace or merge (false).
  bool SettleName(const char* itemName, bool isFolder, const char* targetFolder, char* name,
                  bool* mustBeNew);
  enum class Staged { Done, Failed, Taken };
  // Fills the entry of one found item and stages it, or for a file queues it in the batch.
  // Taken: somebody took the name between the questions and the staging; nothing is staged and
  // the questions are asked again. `name` and `targetFolder` are the item's as the walk found it.
  Staged StageItem(const WIN32_FIND_DATAW& found, const char* name, const char* targetFolder,
                   const char* targetPath, const char* sourcePath, bool mustBeNew);
  // Compresses the batch on the pool and stages it in order; a file whose free name was taken
  // meanwhile by another job goes through the questions again, on its own.
  void StageBatch();
  // Adds a file to the batch; false when memory is short (it is then staged at once).
  bool Queue(const WIN32_FIND_DATAW& found, const char* name, const char* targetFolder,
             const char* targetPath, const char* sourcePath, const ArchiveEntry& entry,
             bool mustBeNew);
  // Cancel, and the progress dialog once the delay has passed: true when cancelled.
  bool Tick();
  static int OnBatchProgress(void* context, std::uint64_t bytesRead, std::uint32_t finished);
  // Whether a member or staging of the other kind (file or folder) has `targetPath` now.
  bool TakenByOtherKind(const char* targetPath, bool isFolder);
  // Records an item this job staged.
  void Record(const std::string& key, StageTicket ticket);
  void ShowItemTexts(const char* sourcePath, const char* targetPath, std::uint32_t size);
  void NotAdded(const char* shown, NotAddedReason reason);
  // One message at the end: the archive could not be written (`why`), and what was not added.
  void TellFailures(bool notWritten, RewriteFailure why);
  void Announce();
  // Takes back what this job staged (and only that).
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
  TakenNames taken_;                 // read under the archive's lock
  char targetFolder_[MaxPath] = "";
  bool onWorker_ = false;
  StringList sources_;
  // Files waiting to be compressed, and what the walk knew of each.
  struct Queued {
    WIN32_FIND_DATAW found;
    std::string name;          // as found, before the questions
    std::string targetFolder;  // where the walk put it
    std::string source;
    std::string target;        // the settled member path
  };
  std::vector<StageRequest> batch_;
  std::vector<Queued> queued_;
  std::uint32_t batchShown_ = 0;   // items of the batch whose texts the dialog has shown
  std::uint32_t batchFiled_ = 0;   // items of the batch counted in the two sums below
  std::uint64_t batchPacked_ = 0;
  std::uint64_t batchOriginal_ = 0;
  std::uint32_t batchSize_ = 0;    // the batch's original bytes >> batchShift_
  unsigned batchShift_ = 0;
  bool direct_ = false;            // files are staged at once, not queued
  unsigned threads_ = 0;
  // What this job staged, each with the ticket of that staging: a failed Commit takes back these
  // and nothing staged by anyone else.
  std::vector<std::pair<std::string, StageTicket>> staged_;
  AddFilesOutcome outcome_;
};
