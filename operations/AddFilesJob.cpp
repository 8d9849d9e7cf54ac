#include "operations/AddFilesJob.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/NoCase.h"
#include "archive/TimeConversion.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ChangeNotice.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "namespace/Settings.h"
#include "namespace/WideName.h"
#include "operations/ConfirmationDialogs.h"
#include "operations/DropList.h"
#include "resources/resource.h"

namespace {

// Files compressed together: enough to keep every core busy, few enough that what the batch
// remembers of them stays small.
constexpr std::size_t BatchSize = 512;

// A Commit refused because another program holds the archive's file lock is tried again for a
// while: another drop onto the same archive may be committing.
constexpr int CommitAttempts = 25;
constexpr DWORD CommitRetryMs = 200;

std::uint8_t NewMemberOsId() {
  if (IsWindows95) return 'w';
  if (IsWindowsNT) return 'W';
  return 'M';
}

// The method for new files: the EncodeMethod digit, or the default when the setting names a
// method the encoder does not have.
char MethodDigit() {
  int digit = EncodeMethod();
  if (digit == 0 || (digit >= 4 && digit <= 7)) return static_cast<char>('0' + digit);
  return '5';
}

std::uint32_t ToUnix(const FILETIME& time) {
  return FileTimeToUnix(platform::FileTime{time.dwLowDateTime, time.dwHighDateTime});
}


// Where a not-added item is told from: `folder` (ending with a backslash) and the wide name.
std::string ShownPath(const char* folder, const wchar_t* name) {
  return std::string(folder) + ShownName(name);
}

NotAddedReason ReasonOf(RewriteFailure why, const char* sourcePath) {
  switch (why) {
    case RewriteFailure::TooLarge: return NotAddedReason::TooLarge;
    case RewriteFailure::BadEntry: return NotAddedReason::TooLong;
    case RewriteFailure::NoTempFile: return NotAddedReason::NoTempFile;
    default:
      // A file that is gone now was gone when it was to be read.
      return GetFileAttributesA(sourcePath) == INVALID_FILE_ATTRIBUTES ? NotAddedReason::Vanished
                                                                       : NotAddedReason::Unreadable;
  }
}

UINT ReasonText(NotAddedReason reason) {
  switch (reason) {
    case NotAddedReason::Unrepresentable: return IDS_NOT_ADDED_UNREPRESENTABLE;
    case NotAddedReason::TooLong: return IDS_NOT_ADDED_TOO_LONG;
    case NotAddedReason::Wildcard: return IDS_NOT_ADDED_WILDCARD;
    case NotAddedReason::Vanished: return IDS_NOT_ADDED_VANISHED;
    case NotAddedReason::Link: return IDS_NOT_ADDED_LINK;
    case NotAddedReason::Unreadable: return IDS_NOT_ADDED_UNREADABLE;
    case NotAddedReason::TooLarge: return IDS_NOT_ADDED_TOO_LARGE;
    case NotAddedReason::NoTempFile: return IDS_NOT_ADDED_NO_TEMP;
  }
  return IDS_NOT_ADDED_UNREADABLE;
}

// The closing message lists at most this many items, then how many more.
constexpr std::size_t ListedMax = 12;

}  // namespace

bool ArchiveWritable(const char* path) {
  platform::FileHandle file = platform::OpenFile(path, platform::OpenMode::ReadWriteExisting);
  if (file == platform::NoFile) return false;
  platform::CloseFile(file);
  return true;
}

bool DelayPassed(DWORD start, DWORD now, int delaySeconds) {
  // Elapsed time in unsigned arithmetic: right across the wrap of the tick counter.
  return delaySeconds >= 0 && now - start >= static_cast<DWORD>(delaySeconds) * 1000u;
}

AddFilesJob* AddFilesJob::Create(HWND owner, ArchiveFolder* folder, const char* path) {
  auto* job = new (std::nothrow) AddFilesJob;
  if (!job) return nullptr;
  if (!job->Attach(owner, folder, path)) {
    delete job;
    return nullptr;
  }
  return job;
}

bool AddFilesJob::Attach(HWND owner, ArchiveFolder* folder, const char* path) {
  IncrementObjectCount();  // lowered by the destructor, which runs whatever happens here
  progress_.reset(new (std::nothrow) ProgressShared);
  if (!progress_ || !path || std::strlen(path) >= MaxPath) return false;
  owner_ = owner;
  if (folder) {
    if (!folder->archive) return false;
    folder_ = folder;
    folder_->AddRef();
    archive_ = folder->archive;
    archive_->Retain();
    std::memcpy(targetFolder_, path, std::strlen(path) + 1);
  } else {
    archive_ = new (std::nothrow) Archive;
    if (!archive_) return false;
    archive_->Retain();
    if (archive_->OpenFile(path) != ResultOk) return false;
  }
  delaySeconds_ = DialogDelay();
  startTick_ = GetTickCount();
  return true;
}

AddFilesJob::~AddFilesJob() {
  // Items staged through AddPath without Run are written now; anything still queued is staged
  // first, while the progress dialog may still show it.
  if (archive_) StageBatch();
  dialog_.Close();
  if (stagedSinceCommit_ && archive_) Commit(*archive_);
  if (archive_) archive_->Release();
  if (folder_) folder_->Release();
  DecrementObjectCount();
}

bool AddFilesJob::AddSource(const char* path) {
  return path && std::strlen(path) < MaxPath && sources_.Append(path, 0, nullptr);
}

bool AddFilesJob::AddDropList(HGLOBAL medium, bool async) {
  DropListCounts counts;
  bool read = ReadDropList(medium, sources_, &counts);
  for (NotAddedItem& item : counts.notAdded) NotAdded(item.shown.c_str(), item.reason);
  if (!async) {
    if (read) Run();
    return read;
  }
  if (!read) {
    delete this;
    return false;
  }
  // The worker holds the library until its very last instruction (FreeLibraryAndExitThread), so
  // the shell may unload it only after the job is gone.
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&AddFilesJob::WorkerMain), &module);
  struct Start {
    AddFilesJob* job;
    HMODULE module;
  };
  onWorker_ = true;
  auto* start = new (std::nothrow) Start{this, module};
  HANDLE thread = start ? CreateThread(nullptr, 0, WorkerMain, start, 0, nullptr) : nullptr;
  if (!thread) {
    delete start;
    if (module) FreeLibrary(module);
    onWorker_ = false;
    Run();
    delete this;
    return true;
  }
  CloseHandle(thread);
  return true;
}

DWORD WINAPI AddFilesJob::WorkerMain(void* parameter) {
  struct Start {
    AddFilesJob* job;
    HMODULE module;
  };
  Start start = *static_cast<Start*>(parameter);
  delete static_cast<Start*>(parameter);
  start.job->Run();
  delete start.job;
  if (start.module) FreeLibraryAndExitThread(start.module, 0);
  return 0;
}

HWND AddFilesJob::Owner() const {
  // The view may have closed while the job ran; a dialog owned by a dead window would not show.
  return owner_ && IsWindow(owner_) ? owner_ : nullptr;
}

void AddFilesJob::NotAdded(const char* shown, NotAddedReason reason) {
  ++outcome_.failed;
  try {
    outcome_.notAdded.push_back(NotAddedItem{shown, reason});
  } catch (const std::bad_alloc&) {
    // The count still tells it.
  }
}

TakenNames::Taker AddFilesJob::Look(const char* targetFolder, const char* name) {
  TakenNames::Taker taker;
  char path[MaxPath];
  if (!JoinPath(path, MaxPath, targetFolder, name)) return taker;
  // Under the lock the catalogue is the file's current one (a rescan follows another writer) and
  // the staged list holds what every job staged so far.
  const bool lock = !archive_->OwnedByCurrentThread();
  if (lock && !archive_->Lock(false)) return taker;
  if (taken_.Refresh(*archive_)) taker = taken_.Find(*archive_, path);
  if (lock) archive_->Unlock();
  return taker;
}

bool AddFilesJob::SettleName(const char* itemName, bool isFolder, const char* targetFolder,
                             char* name, bool* mustBeNew) {
  // Each round either passes, skips, or takes a new name the user typed; a user who keeps typing
  // taken names is asked again. The questions are asked without the archive's lock.
  for (;;) {
    *mustBeNew = true;
    char path[MaxPath];
    if (!JoinPath(path, MaxPath, targetFolder, name)) return true;  // too long: StageItem reports it
    TakenNames::Taker taker = Look(targetFolder, name);
    NameConflictRecord record = {};
    lstrcpynA(record.itemName, itemName, sizeof record.itemName);
    lstrcpynA(record.nameBuffer, name, sizeof record.nameBuffer);
    lstrcpynA(record.shownName, path, sizeof record.shownName);
    if (!isFolder && taker.folder) {
      // A folder has the name, by an entry of its own or by the members below it.
      record.form = 1;
    } else if (isFolder && taker.folder) {
      // A folder merges into a folder of the same name, under that folder's spelling.
      lstrcpynA(name, PathNamePart(taker.spelling.c_str()), MaxPath);
      *mustBeNew = false;
      return true;
    } else if (isFolder && taker.file) {
      record.form = 0;
    } else if (taker.file) {
      // A file over a file: replace (once or for the rest of the job), rename or skip.
      if (!overwriteAll_) {
        lstrcpynA(record.shownName, name, sizeof record.shownName);
        if (RunFileConflictDialog(Owner(), record) != 1) {
          ++outcome_.skipped;
          return false;
        }
        if (record.allAnswer) overwriteAll_ = true;
        if (CompareNoCase(record.nameBuffer, name) != 0) {
          lstrcpynA(name, record.nameBuffer, MaxPath);
          continue;  // a new name may be taken too
        }
      }
      // The member is replaced under the name it has, whatever the letter case of the new file.
      lstrcpynA(name, PathNamePart(taker.spelling.c_str()), MaxPath);
      *mustBeNew = false;
      return true;
    } else {
      return true;
    }
    // A file and a folder cannot share a name: only a new name or skipping.
    if (RunFolderConflictDialog(Owner(), record) != 1) {
      ++outcome_.skipped;
      return false;
    }
    lstrcpynA(name, record.nameBuffer, MaxPath);
  }
}

int AddFilesJob::AddPath(const char* source, const char* targetFolder) {
  int found = Walk(source, targetFolder, nullptr);
  StageBatch();
  return found;
}

int AddFilesJob::Walk(const char* source, const char* targetFolder, const FolderChain* chain) {
  // The walk is wide: a name the code page cannot hold is found, told and passed over, never
  // looked up by a best-fit spelling that names another file.
  wchar_t wideSource[MaxPath];
  WIN32_FIND_DATAW found;
  HANDLE find = NameToWide(source, wideSource, MaxPath, FileCodePage)
                    ? FindFirstFileW(wideSource, &found)
                    : INVALID_HANDLE_VALUE;
  if (find == INVALID_HANDLE_VALUE) {
    if (!chain) NotAdded(source, NotAddedReason::Vanished);
    return 0;
  }
  std::size_t folderLength = PathFolderLength(source);
  char folder[MaxPath];
  std::memcpy(folder, source, folderLength);
  folder[folderLength] = '\0';
  do {
    if (progress_->cancelled.load()) break;
    if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
      continue;
    char name[MaxPath];
    char sourcePath[MaxPath];
    if (!WideToName(found.cFileName, name, sizeof name, FileCodePage)) {
      NotAdded(ShownPath(folder, found.cFileName).c_str(), NotAddedReason::Unrepresentable);
      continue;
    }
    if (!JoinPath(sourcePath, MaxPath, folder, name, PathKind::Disk)) {
      NotAdded(ShownPath(folder, found.cFileName).c_str(), NotAddedReason::TooLong);
      continue;
    }
    AddItem(found, name, sourcePath, targetFolder, chain);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return 1;
}

void AddFilesJob::AddItem(const WIN32_FIND_DATAW& found, const char* name, const char* sourcePath,
                          const char* targetFolder, const FolderChain* chain) {
  // A link or junction is never followed: it may lead back into the folder being added, or out of
  // what the user chose.
  if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    NotAdded(sourcePath, NotAddedReason::Link);
    return;
  }
  const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  FolderChain self = {};
  if (isFolder) {
    // A folder that is one of its own parents (reached through a link the file system does not
    // mark as one) is a loop.
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE handle = CreateFileA(sourcePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool known = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (known) {
      self = FolderChain{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow, chain};
      for (const FolderChain* up = chain; up; up = up->parent) {
        if (up->volume == self.volume && up->indexHigh == self.indexHigh &&
            up->indexLow == self.indexLow) {
          NotAdded(sourcePath, NotAddedReason::Link);
          return;
        }
      }
    } else {
      self.parent = chain;
    }
  }
  char stored[MaxPath];
  std::memcpy(stored, name, std::strlen(name) + 1);
  char shortName[MaxPath];
  if (UseLongName() == 0 && found.cAlternateFileName[0] &&
      WideToName(found.cAlternateFileName, shortName, sizeof shortName, FileCodePage))
    std::memcpy(stored, shortName, std::strlen(shortName) + 1);
  char settled[MaxPath];
  std::memcpy(settled, stored, std::strlen(stored) + 1);
  char targetPath[MaxPath];
  for (;;) {
    bool mustBeNew = true;
    if (!SettleName(stored, isFolder, targetFolder, settled, &mustBeNew)) return;
    char childTarget[MaxPath];
    if (!JoinPath(targetPath, MaxPath, targetFolder, settled) || !JoinPath(childTarget, MaxPath, targetPath, "")) {
      NotAdded(sourcePath, NotAddedReason::TooLong);  // a folder too deep for a path buffer
      return;
    }
    Staged result = StageItem(found, name, targetFolder, targetPath, sourcePath, mustBeNew);
    if (result == Staged::Failed) return;
    if (result == Staged::Done) break;
  }
  if (!isFolder) return;
  char pattern[MaxPath];
  char childTarget[MaxPath];
  if (!JoinPath(pattern, MaxPath, sourcePath, "*", PathKind::Disk) || !JoinPath(childTarget, MaxPath, targetPath, "")) {
    NotAdded(sourcePath, NotAddedReason::TooLong);
    return;
  }
  Walk(pattern, childTarget, &self);
}

AddFilesJob::Staged AddFilesJob::StageItem(const WIN32_FIND_DATAW& found, const char* name,
                                           const char* targetFolder, const char* targetPath,
                                           const char* sourcePath, bool mustBeNew) {
  // An archive is never added to itself (its folder may be among the dropped items).
  if (CompareNoCase(sourcePath, archive_->Path()) == 0) return Staged::Failed;
  bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!isFolder && found.nFileSizeHigh != 0) {
    NotAdded(sourcePath, NotAddedReason::TooLarge);  // the format's sizes are 32 bits
    return Staged::Failed;
  }
  ArchiveEntry entry;
  std::memset(&entry, 0, sizeof entry);
  entry.modifyTime = ToUnix(found.ftLastWriteTime);
  const FILETIME& access = found.ftLastAccessTime;
  const FILETIME& create = found.ftCreationTime;
  entry.accessTime = access.dwLowDateTime && access.dwHighDateTime ? ToUnix(access)
                                                                   : entry.modifyTime;
  entry.createTime = create.dwLowDateTime || create.dwHighDateTime ? ToUnix(create)
                                                                   : entry.modifyTime;
  entry.originalSize = isFolder ? 0 : found.nFileSizeLow;
  entry.osId = NewMemberOsId();
  entry.attributes = static_cast<std::uint16_t>(found.dwFileAttributes & 0x37);
  entry.headerLevel = static_cast<std::uint8_t>(HeaderLevel());
  std::string key;
  if (isFolder) {
    std::memcpy(entry.method, "-lhd-", 6);
    if (!JoinPath(entry.directory, sizeof entry.directory, targetPath, "")) {
      NotAdded(sourcePath, NotAddedReason::TooLong);
      return Staged::Failed;
    }
    key = entry.directory;
  } else {
    std::memcpy(entry.method, "-lh5-", 6);
    entry.method[3] = MethodDigit();
    std::size_t folderLength = PathFolderLength(targetPath);
    std::memcpy(entry.directory, targetPath, folderLength);
    entry.directory[folderLength] = '\0';
    CopyCut(entry.name, sizeof entry.name, targetPath + folderLength,
            std::strlen(targetPath + folderLength));
    key = targetPath;
    if (!direct_ && Queue(found, name, targetFolder, targetPath, sourcePath, entry, mustBeNew)) {
      if (batch_.size() >= BatchSize) StageBatch();
      return Staged::Done;
    }
  }
  ShowItemTexts(sourcePath, targetPath, entry.originalSize);
  RewriteFailure why = RewriteFailure::None;
  StageTicket ticket = 0;
  if (!StageFile(*archive_, &entry, sourcePath, &AddFilesJob::OnProgress, this, &why, &ticket,
                 mustBeNew)) {
    if (why == RewriteFailure::Collision) return Staged::Taken;
    if (why != RewriteFailure::Cancelled) NotAdded(sourcePath, ReasonOf(why, sourcePath));
    return Staged::Failed;
  }
  if (mustBeNew && TakenByOtherKind(targetPath, isFolder)) {
    ::Unstage(*archive_, key.c_str(), ticket);
    return Staged::Taken;
  }
  Record(key, ticket);
  return Staged::Done;
}

bool AddFilesJob::TakenByOtherKind(const char* targetPath, bool isFolder) {
  // The exact name was checked at staging; a member of the other kind (a file "docs" against a
  // folder implied by "docs\x.txt") may have been staged by another job since the questions.
  char folder[MaxPath];
  PathFolder(folder, targetPath);
  TakenNames::Taker taker = Look(folder, PathNamePart(targetPath));
  return isFolder ? taker.file : taker.folder;
}

void AddFilesJob::Record(const std::string& key, StageTicket ticket) {
  ++outcome_.staged;
  stagedSinceCommit_ = true;
  try {
    staged_.emplace_back(key, ticket);
  } catch (const std::bad_alloc&) {
    // Without its record the item cannot be taken back after a failed Commit; it stays staged.
  }
}

bool AddFilesJob::Queue(const WIN32_FIND_DATAW& found, const char* name, const char* targetFolder,
                        const char* targetPath, const char* sourcePath, const ArchiveEntry& entry,
                        bool mustBeNew) {
  try {
    queued_.push_back(Queued{found, name, targetFolder, sourcePath, targetPath});
    StageRequest request;
    request.entry = entry;
    request.source = sourcePath;
    request.mustBeNew = mustBeNew;
    batch_.push_back(std::move(request));
  } catch (const std::bad_alloc&) {
    queued_.resize(batch_.size());
    return false;  // staged on its own, at once
  }
  if (taken_.Queue(targetPath)) return true;
  queued_.pop_back();
  batch_.pop_back();
  return false;
}

void AddFilesJob::StageBatch() {
  if (batch_.empty()) return;
  batchShown_ = 0;
  batchFiled_ = 0;
  batchPacked_ = 0;
  batchOriginal_ = 0;
  // The bar follows the batch's bytes, scaled to the 32 bits the dialog's messages carry.
  std::uint64_t total = 0;
  for (const StageRequest& request : batch_) total += request.entry.originalSize;
  for (batchShift_ = 0; (total >> batchShift_) > 0xFFFFFFFFu; ++batchShift_) {
  }
  batchSize_ = static_cast<std::uint32_t>(total >> batchShift_);
  StageFiles(*archive_, batch_, threads_, &AddFilesJob::OnBatchProgress, this);
  // The batch's names are in the staged list now, or given up.
  taken_.ClearQueued();
  std::vector<StageRequest> batch;
  std::vector<Queued> queued;
  batch.swap(batch_);
  queued.swap(queued_);
  std::vector<std::size_t> again;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    StageRequest& request = batch[i];
    const char* target = queued[i].target.c_str();
    if (request.staged && request.mustBeNew && TakenByOtherKind(target, false)) {
      ::Unstage(*archive_, target, request.ticket);
      request.staged = false;
      request.why = RewriteFailure::Collision;
    }
    if (request.staged) Record(queued[i].target, request.ticket);
    else if (request.why == RewriteFailure::Collision) again.push_back(i);
    else if (request.why != RewriteFailure::Cancelled)
      NotAdded(request.source.c_str(), ReasonOf(request.why, request.source.c_str()));
  }
  // Another job took the name after the questions found it free: ask again, one at a time.
  direct_ = true;
  for (std::size_t i : again) {
    if (progress_->cancelled.load()) break;
    Queued& item = queued[i];
    AddItem(item.found, item.name.c_str(), item.source.c_str(), item.targetFolder.c_str(),
            nullptr);
  }
  direct_ = false;
}

int AddFilesJob::OnBatchProgress(void* context, std::uint64_t, std::uint32_t finished) {
  auto* job = static_cast<AddFilesJob*>(context);
  if (job->Tick()) return 1;
  // The dialog names the file the batch waits for; the bar shows the bytes of the batch filed so
  // far, the ratio their average.
  for (; job->batchFiled_ < finished && job->batchFiled_ < job->batch_.size(); ++job->batchFiled_) {
    const StageRequest& request = job->batch_[job->batchFiled_];
    if (!request.staged) continue;
    job->batchPacked_ += request.entry.packedSize;
    job->batchOriginal_ += request.entry.originalSize;
  }
  if (finished < job->batch_.size() && job->batchShown_ <= finished) {
    const Queued& item = job->queued_[finished];
    job->ShowItemTexts(item.source.c_str(), item.target.c_str(), job->batchSize_);
    job->batchShown_ = finished + 1;
  }
  HWND window = job->dialogStarted_ ? job->progress_->window.load() : nullptr;
  if (window && job->batchOriginal_ > 0) {
    PostMessageA(window, ProgressMessage, static_cast<WPARAM>(job->batchPacked_ >> job->batchShift_),
                 static_cast<LPARAM>(job->batchOriginal_ >> job->batchShift_));
  }
  return 0;
}

void AddFilesJob::ShowItemTexts(const char* sourcePath, const char* targetPath,
                                std::uint32_t size) {
  char from[MaxPath];
  PathParentName(from, sourcePath);
  char to[MaxPath];
  if (PathFolderLength(targetPath) == 0) lstrcpynA(to, PathNamePart(archive_->Path()), MaxPath);
  else PathParentName(to, targetPath);
  char pattern[128];
  LoadLibraryString(IDS_FROM_TO, pattern, sizeof pattern);
  char fromTo[MaxPath * 2 + 128];
  wsprintfA(fromTo, pattern, from, to);
  progress_->itemSize.store(size);
  progress_->SetTexts(PathNamePart(sourcePath), fromTo);
  HWND window = progress_->window.load();
  if (window) PostMessageA(window, NextItemMessage, 0, 0);
}

int AddFilesJob::OnProgress(void* context, std::uint32_t packed, std::uint32_t original) {
  auto* job = static_cast<AddFilesJob*>(context);
  if (job->Tick()) return 1;
  HWND window = job->dialogStarted_ ? job->progress_->window.load() : nullptr;
  if (window) PostMessageA(window, ProgressMessage, packed, original);
  return 0;
}

bool AddFilesJob::Tick() {
  if (progress_->cancelled.load()) return true;
  if (!dialogStarted_ && DelayPassed(startTick_, GetTickCount(), delaySeconds_)) {
    dialogStarted_ = true;
    // A modal dialog disables its owner with a sent message: an owner served by this very thread,
    // which is busy compressing, would hold the dialog back until the job ends.
    HWND owner = Owner();
    if (owner && GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId()) owner = nullptr;
    outcome_.dialogShown = dialog_.Open(owner, progress_);
  }
  return false;
}

bool AddFilesJob::Run() {
  // A file that cannot be written is told before anything is compressed for it.
  if (!ArchiveWritable(archive_->Path())) {
    outcome_.notWritable = true;
    sources_.Clear();
    TellFailures(true, RewriteFailure::Locked);
    return false;
  }
  for (std::uint32_t i = 0; i < sources_.Count(); ++i) {
    if (progress_->cancelled.load()) break;
    const char* source = nullptr;
    if (sources_.Get(i, &source, nullptr, nullptr)) Walk(source, targetFolder_, nullptr);
  }
  StageBatch();
  sources_.Clear();
  outcome_.cancelled = progress_->cancelled.load();
  RewriteFailure why = RewriteFailure::None;
  if (stagedSinceCommit_) {
    for (int attempt = 0; attempt < CommitAttempts; ++attempt) {
      if (!ArchiveWritable(archive_->Path())) {
        why = RewriteFailure::Locked;  // held deny-write, or made read-only, meanwhile
        break;
      }
      outcome_.committed = Commit(*archive_, &why);
      if (outcome_.committed || why != RewriteFailure::Locked) break;
      Sleep(CommitRetryMs);
    }
    stagedSinceCommit_ = false;
    // What this job staged must not be written later by somebody else's Commit.
    if (!outcome_.committed) Unstage();
  }
  // The questions and the message below are not shown under a progress dialog.
  dialog_.Close();
  const bool notWritten = outcome_.staged > 0 && !outcome_.committed;
  TellFailures(notWritten, why);
  if (outcome_.committed) Announce();
  return !notWritten && outcome_.failed == 0;
}

void AddFilesJob::Unstage() {
  for (const auto& item : staged_) ::Unstage(*archive_, item.first.c_str(), item.second);
  staged_.clear();
}

void AddFilesJob::TellFailures(bool notWritten, RewriteFailure why) {
  std::string text;
  char line[MaxPath * 2 + 256];
  char pattern[256];
  if (notWritten) {
    // A file that could not be opened or locked for writing is untouched; only a write that
    // failed while the new image was copied back may have left it part old, part new.
    UINT id = why == RewriteFailure::ArchiveWrite ? IDS_ARCHIVE_DAMAGED
              : why == RewriteFailure::Locked     ? IDS_ARCHIVE_NOT_WRITABLE
                                                  : IDS_ARCHIVE_NOT_WRITTEN;
    LoadLibraryString(id, pattern, sizeof pattern);
    wsprintfA(line, pattern, PathNamePart(archive_->Path()));
    text = line;
  }
  if (outcome_.failed > 0) {
    if (!text.empty()) text += "\r\n\r\n";
    LoadLibraryString(IDS_ITEMS_NOT_ADDED, pattern, sizeof pattern);
    wsprintfA(line, pattern, static_cast<int>(outcome_.failed));
    text += line;
    const std::size_t listed = outcome_.notAdded.size() < ListedMax ? outcome_.notAdded.size()
                                                                    : ListedMax;
    for (std::size_t i = 0; i < listed; ++i) {
      LoadLibraryString(ReasonText(outcome_.notAdded[i].reason), pattern, sizeof pattern);
      wsprintfA(line, pattern, outcome_.notAdded[i].shown.c_str());
      text += "\r\n";
      text += line;
    }
    if (outcome_.failed > listed) {
      LoadLibraryString(IDS_NOT_ADDED_MORE, pattern, sizeof pattern);
      wsprintfA(line, pattern, static_cast<int>(outcome_.failed - listed));
      text += "\r\n";
      text += line;
    }
  }
  if (text.empty()) return;
  char caption[128];
  LoadLibraryString(IDS_ADD_FILES_CAPTION, caption, sizeof caption);
  MessageBoxA(Owner(), text.c_str(), caption, MB_OK | MB_ICONWARNING);
}

void AddFilesJob::Announce() {
  AnnounceArchiveChange(archive_->Path(), folder_ ? folder_->absoluteIdList.Get() : nullptr,
                        owner_);
}
