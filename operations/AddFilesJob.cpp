#include "operations/AddFilesJob.h"

#include <cstring>
#include <new>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/NoCase.h"
#include "archive/PathName.h"
#include "archive/TimeConversion.h"
#include "namespace/ArchiveFolder.h"
#include "namespace/ChangeNotice.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "namespace/Settings.h"
#include "operations/ConfirmationDialogs.h"
#include "operations/DropList.h"
#include "resources/resource.h"

namespace {

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

}  // namespace

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
  if (!archive_->Lock(false)) return false;
  snapshot_ = archive_->Members();
  archive_->Unlock();
  delaySeconds_ = DialogDelay();
  startTick_ = GetTickCount();
  return true;
}

AddFilesJob::~AddFilesJob() {
  dialog_.Close();
  snapshot_.reset();
  // Items staged through AddPath without Run are written now.
  if (stagedSinceCommit_ && archive_) Commit(*archive_);
  if (archive_) archive_->Release();
  if (folder_) folder_->Release();
  DecrementObjectCount();
}

bool AddFilesJob::AddSource(const char* path) {
  return path && std::strlen(path) < MaxPath && sources_.Append(path, 0, nullptr);
}

bool AddFilesJob::AddDropList(HGLOBAL medium, bool async) {
  bool read = ReadDropList(medium, sources_);
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

bool AddFilesJob::Taken(const char* path) const {
  return snapshot_->List().FindNoCase(path) >= 0 || stagedPaths_.FindNoCase(path) >= 0;
}

void AddFilesJob::TakenName(const char* path, bool folder, char* name) const {
  for (const StringList* list : {&snapshot_->List(), &stagedPaths_}) {
    std::int32_t index = list->FindNoCase(path);
    const char* key = nullptr;
    if (index < 0 || !list->Get(static_cast<std::uint32_t>(index), &key, nullptr, nullptr))
      continue;
    char taken[MaxPath];
    lstrcpynA(taken, key, sizeof taken);
    std::size_t length = std::strlen(taken);
    if (folder && EndsWithSeparator(taken, length)) taken[length - 1] = '\0';  // the key's own
    lstrcpynA(name, PathNamePart(taken), MaxPath);
    return;
  }
}

bool AddFilesJob::SettleName(const char* itemName, bool isFolder, const char* targetFolder,
                             char* name) {
  lstrcpynA(name, itemName, MaxPath);
  // Each round either passes, skips, or takes a new name the user typed; a user who keeps typing
  // taken names is asked again.
  for (;;) {
    char path[MaxPath];
    char folderKey[MaxPath];
    if (!JoinPath(path, MaxPath, targetFolder, name) ||
        !JoinPath(folderKey, MaxPath, path, ""))
      return true;  // too long: StageItem's own check reports it
    NameConflictRecord record = {};
    lstrcpynA(record.itemName, itemName, sizeof record.itemName);
    lstrcpynA(record.nameBuffer, name, sizeof record.nameBuffer);
    if (!isFolder && Taken(folderKey)) {
      lstrcpynA(record.shownName, path, sizeof record.shownName);
      record.form = 1;
    } else if (Taken(path)) {
      if (isFolder) {
        lstrcpynA(record.shownName, path, sizeof record.shownName);
        record.form = 0;
      } else {
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
        TakenName(path, false, name);
        return true;
      }
    } else {
      // A folder merges into a folder of the same name, under that folder's spelling.
      if (isFolder) TakenName(folderKey, true, name);
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
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(source, &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  std::size_t folderLength = PathFolderLength(source);
  char folder[MaxPath];
  std::memcpy(folder, source, folderLength);
  folder[folderLength] = '\0';
  do {
    if (progress_->cancelled.load()) break;
    if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0)
      continue;
    bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    char sourcePath[MaxPath];
    if (!JoinPath(sourcePath, MaxPath, folder, found.cFileName, PathKind::Disk)) {
      ++outcome_.failed;  // never cut into another path
      continue;
    }
    const char* stored = found.cFileName;
    if (UseLongName() == 0 && found.cAlternateFileName[0]) stored = found.cAlternateFileName;
    char name[MaxPath];
    if (!SettleName(stored, isFolder, targetFolder, name)) continue;
    char targetPath[MaxPath];
    char childTarget[MaxPath];
    char pattern[MaxPath];
    if (!JoinPath(targetPath, MaxPath, targetFolder, name) ||
        !JoinPath(childTarget, MaxPath, targetPath, "") ||
        (isFolder && !JoinPath(pattern, MaxPath, sourcePath, "*.*", PathKind::Disk))) {
      ++outcome_.failed;  // a folder too deep for a path buffer (or looping back on itself)
      continue;
    }
    StageItem(found, targetPath, sourcePath);
    if (isFolder) AddPath(pattern, childTarget);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return 1;
}

bool AddFilesJob::StageItem(const WIN32_FIND_DATAA& found, const char* targetPath,
                            const char* sourcePath) {
  // An archive is never added to itself (its folder may be among the dropped items).
  if (CompareNoCase(sourcePath, archive_->Path()) == 0) return false;
  bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!isFolder && found.nFileSizeHigh != 0) {
    ++outcome_.failed;  // the format's sizes are 32 bits: 4 GiB and more cannot be stored
    return false;
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
  char key[MaxPath];
  if (isFolder) {
    std::memcpy(entry.method, "-lhd-", 6);
    if (!JoinPath(entry.directory, MaxPath, targetPath, "")) {
      ++outcome_.failed;
      return false;
    }
    std::memcpy(key, entry.directory, std::strlen(entry.directory) + 1);
  } else {
    std::memcpy(entry.method, "-lh5-", 6);
    entry.method[3] = MethodDigit();
    std::size_t folderLength = PathFolderLength(targetPath);
    std::memcpy(entry.directory, targetPath, folderLength);
    entry.directory[folderLength] = '\0';
    lstrcpynA(entry.name, targetPath + folderLength, sizeof entry.name);
    std::memcpy(key, targetPath, std::strlen(targetPath) + 1);
  }
  ShowItemTexts(sourcePath, targetPath, entry.originalSize);
  RewriteFailure why = RewriteFailure::None;
  if (!StageFile(*archive_, &entry, sourcePath, &AddFilesJob::OnProgress, this, &why)) {
    if (why != RewriteFailure::Cancelled) ++outcome_.failed;
    return false;
  }
  ++outcome_.staged;
  stagedSinceCommit_ = true;
  if (stagedPaths_.FindExact(key) < 0) stagedPaths_.Append(key, 0, nullptr);
  return true;
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
  ProgressShared& shared = *job->progress_;
  if (shared.cancelled.load()) return 1;
  if (job->dialogStarted_) {
    HWND window = shared.window.load();
    if (window) PostMessageA(window, ProgressMessage, packed, original);
    return 0;
  }
  if (DelayPassed(job->startTick_, GetTickCount(), job->delaySeconds_)) {
    job->dialogStarted_ = true;
    // A modal dialog disables its owner with a sent message: an owner served by this very thread,
    // which is busy compressing, would hold the dialog back until the job ends.
    HWND owner = job->Owner();
    if (owner && GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId()) owner = nullptr;
    job->outcome_.dialogShown = job->dialog_.Open(owner, job->progress_);
  }
  return 0;
}

bool AddFilesJob::Run() {
  for (std::uint32_t i = 0; i < sources_.Count(); ++i) {
    if (progress_->cancelled.load()) break;
    const char* source = nullptr;
    if (sources_.Get(i, &source, nullptr, nullptr)) AddPath(source, targetFolder_);
  }
  sources_.Clear();
  outcome_.cancelled = progress_->cancelled.load();
  RewriteFailure why = RewriteFailure::None;
  if (stagedSinceCommit_) {
    for (int attempt = 0; attempt < CommitAttempts; ++attempt) {
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
  TellFailures(outcome_.staged > 0 && !outcome_.committed, why);
  if (outcome_.committed) Announce();
  return outcome_.staged > 0;
}

void AddFilesJob::Unstage() {
  for (std::uint32_t i = 0; i < stagedPaths_.Count(); ++i) {
    const char* path = nullptr;
    if (stagedPaths_.Get(i, &path, nullptr, nullptr)) ::Unstage(*archive_, path);
  }
  stagedPaths_.Clear();
}

void AddFilesJob::TellFailures(bool notWritten, RewriteFailure why) {
  char text[MaxPath * 2 + 256];
  char pattern[256];
  if (notWritten) {
    // A write that failed while the new image was copied back may have left the archive
    // part old, part new; any other failure left it untouched.
    bool damaged = why == RewriteFailure::ArchiveWrite;
    LoadLibraryString(damaged ? IDS_ARCHIVE_DAMAGED : IDS_ARCHIVE_NOT_WRITTEN, pattern,
                      sizeof pattern);
    wsprintfA(text, pattern, PathNamePart(archive_->Path()));
  } else if (outcome_.failed > 0) {
    LoadLibraryString(IDS_ITEMS_NOT_ADDED, pattern, sizeof pattern);
    wsprintfA(text, pattern, static_cast<int>(outcome_.failed));
  } else {
    return;
  }
  char caption[128];
  LoadLibraryString(IDS_ADD_FILES_CAPTION, caption, sizeof caption);
  MessageBoxA(Owner(), text, caption, MB_OK | MB_ICONWARNING);
}

void AddFilesJob::Announce() {
  AnnounceArchiveChange(archive_->Path(), folder_ ? folder_->absoluteIdList.Get() : nullptr,
                        owner_);
}
