#include "commands/OpenAndUpdate.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/Crc16.h"
#include "archive/PathName.h"
#include "archive/TimeConversion.h"
#include "commands/UpdateRequest.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "operations/TempCopy.h"
#include "resources/resource.h"

namespace {

// How often the watcher looks at the edited file besides the folder's change notifications, and
// how long a file that nobody holds and nobody changes is waited for after the application ended
// (an editor that handed the file to its running instance may still save it much later).
constexpr DWORD LookIntervalMs = 500;
constexpr DWORD QuietEndMs = 2 * 60 * 60 * 1000;

// Shows string `id` filled with up to three texts; the answer of the message box.
int Tell(HWND owner, UINT id, UINT style, const char* a, const char* b = "", const char* c = "") {
  char format[512], caption[128], text[2048];
  LoadLibraryString(id, format, sizeof format);
  LoadLibraryString(IDS_UPDATE_TITLE, caption, sizeof caption);
  std::snprintf(text, sizeof text, format, a, b, c);
  return MessageBoxExA(owner, text, caption, style, 0);
}

// What the archive's member holds, as far as change detection goes.
struct FileState {
  std::uint32_t seconds = 0;  // last-write time, whole seconds since 1970
  std::uint32_t size = 0;
  std::uint16_t crc = 0;
};

// The file as last looked at: a look that finds the same stamp reads nothing.
struct FileStamp {
  FILETIME written{};
  DWORD sizeLow = 0, sizeHigh = 0;
  bool operator==(const FileStamp& o) const {
    return written.dwLowDateTime == o.written.dwLowDateTime &&
           written.dwHighDateTime == o.written.dwHighDateTime && sizeLow == o.sizeLow &&
           sizeHigh == o.sizeHigh;
  }
};

enum class Look { Held, Same, Changed };

// Looks at the edited file. Held: another program has it open for writing (or a save is between
// its delete and its rename). Changed: its time, its size or its contents (CRC-16) differ from
// `stored`; `*now` then describes it. The contents are read only when the stamp moved or `force`.
Look LookAtFile(const char* path, const FileState& stored, FileStamp* seen, bool force,
                FileState* now, std::uint32_t* accessed) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Look::Held;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) {
    CloseHandle(file);
    return Look::Held;
  }
  const FileStamp stamp{info.ftLastWriteTime, info.nFileSizeLow, info.nFileSizeHigh};
  if (!force && stamp == *seen) {
    CloseHandle(file);
    return Look::Same;
  }
  now->seconds = FileTimeToUnix(
      platform::FileTime{info.ftLastWriteTime.dwLowDateTime, info.ftLastWriteTime.dwHighDateTime});
  *accessed = FileTimeToUnix(
      platform::FileTime{info.ftLastAccessTime.dwLowDateTime, info.ftLastAccessTime.dwHighDateTime});
  now->size = info.nFileSizeHigh ? 0xFFFFFFFFu : info.nFileSizeLow;
  std::uint16_t crc = 0;
  bool read = true;
  std::vector<std::uint8_t> buffer(65536);
  for (DWORD got = 0; read;) {
    read = ::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0;
    if (!read || got == 0) break;
    crc = UpdateCrc16(crc, buffer.data(), got);
  }
  CloseHandle(file);
  if (!read) return Look::Held;
  now->crc = crc;
  *seen = stamp;
  const bool changed = info.nFileSizeHigh != 0 || now->seconds != stored.seconds ||
                       now->size != stored.size || now->crc != stored.crc;
  return changed ? Look::Changed : Look::Same;
}

// True when the member at `path` is still `expected` (or still missing when `present` is
// false); `*now` gets what is there. The caller holds the lock.
bool MemberIs(Archive& archive, const char* path, const ArchiveEntry& expected, bool present,
              ArchiveEntry* now, bool* nowPresent) {
  const std::int32_t index = archive.FindMember(path);
  *nowPresent = index >= 0 && archive.GetMemberFixed(static_cast<std::uint32_t>(index), now);
  if (!*nowPresent || !present) return *nowPresent == present;
  return now->crc == expected.crc && now->originalSize == expected.originalSize &&
         now->modifyTime == expected.modifyTime && now->packedSize == expected.packedSize;
}

enum class Stored { Yes, Declined, Failed };

// Compresses the edited file back into the archive. The member check and the rewrite happen
// under one hold of the archive's lock, so another watcher's rewrite in between is never
// overwritten without the question. `*member` is the member as this job last knew it; after a
// rewrite it is the new member.
Stored StoreEdited(UpdateJob& job, ArchiveEntry entry, const char* path, ArchiveEntry* member) {
  char key[EntryPathMax];
  EntryPath(entry, key);
  // Compressed before the lock is taken: nobody waits on the archive while the encoder runs.
  if (!StageFile(*job.archive, &entry, path, nullptr, nullptr)) return Stored::Failed;
  bool present = true;
  const char* name = PathNamePart(job.memberPath);
  for (;;) {
    if (!job.archive->Lock(true)) break;
    ArchiveEntry now;
    bool nowPresent = false;
    if (MemberIs(*job.archive, job.memberPath, *member, present, &now, &nowPresent)) {
      const bool committed = Commit(*job.archive);
      job.archive->Unlock();
      if (!committed) break;
      // The member as the rewrite left it, for the check before the next rewrite.
      if (job.archive->Lock(false)) {
        MemberIs(*job.archive, job.memberPath, *member, true, member, &nowPresent);
        job.archive->Unlock();
      }
      return Stored::Yes;
    }
    job.archive->Unlock();
    if (Tell(job.owner, IDS_UPDATE_MEMBER_CHANGED, MB_YESNO | MB_ICONWARNING, name) != IDYES) {
      // Taken back, so that no later change of this archive object commits it by surprise.
      Unstage(*job.archive, key);
      return Stored::Declined;
    }
    // The user chose to replace what is there now; it is checked again under the lock.
    *member = now;
    present = nowPresent;
  }
  Unstage(*job.archive, key);
  return Stored::Failed;
}

// The small window that names the member being edited; its button tells the watcher that the user
// is done.
INT_PTR CALLBACK EditingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    *reinterpret_cast<bool*>(GetWindowLongPtrA(dialog, DWLP_USER)) = true;
    return TRUE;
  }
  return FALSE;
}

HWND ShowEditingDialog(HWND owner, const char* name, bool* finished) {
  HWND dialog = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_EDITING), owner,
                                   EditingDialogProc, reinterpret_cast<LPARAM>(finished));
  if (!dialog) return nullptr;
  char format[128], text[512];
  LoadLibraryString(IDS_EDITING_TITLE, format, sizeof format);
  std::snprintf(text, sizeof text, format, name);
  SetWindowTextA(dialog, text);
  LoadLibraryString(IDS_EDITING_TEXT, format, sizeof format);
  std::snprintf(text, sizeof text, format, name);
  SetDlgItemTextA(dialog, IDC_EDITING_TEXT, text);
  ShowWindow(dialog, SW_SHOW);
  return dialog;
}

// Starts the watcher with only the pipe's read end inherited, not every inheritable handle the
// shell's process happens to hold. Where the system has no handle list, plain inheritance. (The
// names are the system's; the headers declare them only for newer target versions.)
bool StartWatcher(char* command, HANDLE inherited, PROCESS_INFORMATION* process) {
  constexpr DWORD ExtendedStartupInfoPresent = 0x00080000;
  constexpr DWORD_PTR HandleListAttribute = 0x00020002;
  struct StartupInfoEx {
    STARTUPINFOA StartupInfo;
    void* lpAttributeList;
  } startup = {};
  startup.StartupInfo.cb = sizeof startup.StartupInfo;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  using Initialize = BOOL(WINAPI*)(void*, DWORD, DWORD, PSIZE_T);
  using Update = BOOL(WINAPI*)(void*, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID, PSIZE_T);
  using Delete = VOID(WINAPI*)(void*);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto initialize = reinterpret_cast<Initialize>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "InitializeProcThreadAttributeList")));
  auto update = reinterpret_cast<Update>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "UpdateProcThreadAttribute")));
  auto remove = reinterpret_cast<Delete>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "DeleteProcThreadAttributeList")));
  SIZE_T size = 0;
  std::vector<std::uint8_t> list;
  DWORD flags = 0;
  if (initialize && update && remove) {
    initialize(nullptr, 1, 0, &size);
    list.resize(size);
    void* attributes = list.data();
    if (size && initialize(attributes, 1, 0, &size)) {
      if (update(attributes, 0, HandleListAttribute, &inherited, sizeof inherited, nullptr,
                 nullptr)) {
        startup.lpAttributeList = attributes;
        startup.StartupInfo.cb = sizeof startup;
        flags = ExtendedStartupInfoPresent;
      } else {
        remove(attributes);
      }
    }
  }
  const BOOL started = CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, flags, nullptr,
                                      nullptr, &startup.StartupInfo, process);
  if (startup.lpAttributeList) remove(startup.lpAttributeList);
  return started != 0;
}

}  // namespace

bool ParseHandleDigits(const char* text, std::uint32_t* value) {
  std::uint32_t result = 0;
  for (int i = 0; i < 8; ++i) {
    const char c = text ? text[i] : '\0';
    std::uint32_t digit;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F') digit = static_cast<std::uint32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') digit = static_cast<std::uint32_t>(c - 'a' + 10);
    else return false;
    result = result << 4 | digit;
  }
  *value = result;
  return true;
}

bool BuildCommandLine(const char* commandTemplate, char* application, std::size_t applicationSize,
                      char* commandLine, std::size_t commandLineSize, const char* tempPath) {
  std::size_t a = 0, c = 0;
  bool fits = applicationSize > 0 && commandLineSize > 0;
  auto putApplication = [&](char ch) {
    if (a + 1 < applicationSize) application[a++] = ch;
    else fits = false;
  };
  auto put = [&](const char* text, std::size_t length) {
    if (c + length < commandLineSize) {
      std::memcpy(commandLine + c, text, length);
      c += length;
    } else {
      fits = false;
    }
  };
  // The program, as the shell takes it: a quoted path keeps its quotes in the command line, so
  // "C:\Program Files\ed.exe" stays one argument; an unquoted one ends at the first space, and
  // the system's own search over the spaces finds a program whose path has some.
  const char* p = commandTemplate;
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) putApplication(*p);
    if (*p == '"') ++p;
    put("\"", 1);
    put(application, a);
    put("\"", 1);
  } else {
    for (; *p && *p != ' ' && *p != '"' && *p != '%'; ++p) putApplication(*p);
    put(application, a);
  }
  if (fits) application[a] = '\0';
  // The member itself as the program (the usual verb of executable files) is never started.
  const bool isTheFile = fits && application[0] == '%' &&
                         (application[1] == '1' || application[1] == 'L' || application[1] == 'l') &&
                         application[2] == '\0';
  bool quoted = false;
  const bool spaced = std::strchr(tempPath, ' ') != nullptr;
  for (; fits && *p; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      put(p, 1);
    } else if (*p == '%') {
      if (p[1] == '\0') break;  // a lone percent sign at the end is dropped
      ++p;
      if (*p == '1') {
        // A path with spaces outside quotes would reach the program as several arguments.
        if (spaced && !quoted) put("\"", 1);
        put(tempPath, std::strlen(tempPath));
        if (spaced && !quoted) put("\"", 1);
      } else {
        put(p, 1);  // "%%" gives "%", "%*" gives "*"
      }
    } else {
      put(p, 1);
    }
  }
  if (fits && quoted) put("\"", 1);
  if (!fits || isTheFile || a == 0) {
    if (applicationSize) application[0] = '\0';
    if (commandLineSize) commandLine[0] = '\0';
    return false;
  }
  commandLine[c] = '\0';
  return true;
}

int ExtractToTemp(Archive& archive, const char* memberPath, ArchiveEntry* entry,
                  char (&path)[MAX_PATH]) {
  return WriteTempCopy(archive, memberPath, entry, path) ? 1 : 0;
}

int LaunchForUpdate(const char* commandTemplate, const char* memberPath, Archive* archive) {
  if (!commandTemplate || !memberPath || !archive) return 0;
  UpdateRequest request = {};
  if (std::strlen(archive->Path()) >= sizeof request.archivePath ||
      std::strlen(memberPath) >= sizeof request.memberPath ||
      std::strlen(commandTemplate) >= sizeof request.commandTemplate)
    return 0;
  std::strcpy(request.archivePath, archive->Path());
  std::strcpy(request.memberPath, memberPath);
  std::strcpy(request.commandTemplate, commandTemplate);
  // Only the read end is made inheritable, and only it is handed to the watcher.
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, sizeof request)) return 0;
  DWORD written = 0;
  int started = 0;
  char library[MAX_PATH];
  const DWORD length = GetModuleFileNameA(ModuleInstance, library, sizeof library);
  if (SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) &&
      WriteFile(writeEnd, &request, sizeof request, &written, nullptr) &&
      written == sizeof request && length > 0 && length < sizeof library) {
    // The library's path is quoted: installations often have spaces in it.
    char command[MAX_PATH + 64];
    std::snprintf(command, sizeof command, "rundll32.exe \"%s\",KickAndUpdate %08x", library,
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(readEnd)));
    PROCESS_INFORMATION process = {};
    if (StartWatcher(command, readEnd, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      started = 1;
    }
  }
  CloseHandle(readEnd);
  CloseHandle(writeEnd);
  return started;
}

int RunUpdateJob(UpdateJob& job) {
  ArchiveEntry entry;
  char path[MAX_PATH];
  if (!ExtractToTemp(*job.archive, job.memberPath, &entry, path)) return 0;
  char folder[MAX_PATH];
  PathFolder(folder, path, sizeof folder);
  const char* member = PathNamePart(job.memberPath);
  char application[MAX_PATH], commandLine[2048];
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  if (!BuildCommandLine(job.commandTemplate, application, sizeof application, commandLine,
                        sizeof commandLine, path) ||
      !CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &job.process)) {
    job.process = PROCESS_INFORMATION{};
    RemoveTempFolder(folder);
    Tell(job.owner, IDS_UPDATE_CANNOT_START, MB_OK | MB_ICONWARNING, member);
    return 0;
  }

  // The file is watched, not the program: most editors hand the file to a running instance or
  // a child and exit at once. Every change seen is offered for the archive, until the user says
  // the editing is done, or the program has ended and the file has stayed closed and unchanged
  // for a long time.
  FileState stored{entry.modifyTime, entry.originalSize, entry.crc};
  ArchiveEntry known = entry;  // the member as this job last saw it in the archive
  FileStamp seen;
  FileState now;
  std::uint32_t accessed = 0;
  LookAtFile(path, stored, &seen, true, &now, &accessed);
  bool finished = false, running = true, keep = false;
  HWND dialog = ShowEditingDialog(job.owner, member, &finished);
  HANDLE changes = FindFirstChangeNotificationA(
      folder, FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
  DWORD quietSince = GetTickCount();
  for (;;) {
    HANDLE waits[2];
    DWORD count = 0;
    if (running) waits[count++] = job.process.hProcess;
    if (changes != INVALID_HANDLE_VALUE) waits[count++] = changes;
    const DWORD woke =
        MsgWaitForMultipleObjects(count, waits, FALSE, LookIntervalMs, QS_ALLINPUT);
    bool force = false;
    if (woke < WAIT_OBJECT_0 + count) {
      HANDLE signalled = waits[woke - WAIT_OBJECT_0];
      if (running && signalled == job.process.hProcess) running = false;
      else FindNextChangeNotification(changes);
      force = true;
    }
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (dialog && IsDialogMessageA(dialog, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    const bool last = finished || (!dialog && !running);
    const Look look = LookAtFile(path, stored, &seen, force || last, &now, &accessed);
    if (look != Look::Same) quietSince = GetTickCount();
    if (look == Look::Changed) {
      if (Tell(dialog ? dialog : job.owner, IDS_UPDATE_QUESTION, MB_YESNO | MB_ICONQUESTION,
               member, PathNamePart(job.archive->Path())) == IDYES) {
        ArchiveEntry edited = entry;
        edited.originalSize = now.size;
        edited.modifyTime = now.seconds;
        edited.accessTime = accessed;
        const Stored result = StoreEdited(job, edited, path, &known);
        if (result == Stored::Failed) {
          // The message says where the edited file stays.
          Tell(job.owner, IDS_UPDATE_NOT_STORED, MB_OK | MB_ICONWARNING, member,
               PathNamePart(job.archive->Path()), path);
          keep = true;
          break;
        }
        if (result == Stored::Declined) {
          Tell(job.owner, IDS_UPDATE_KEPT, MB_OK | MB_ICONINFORMATION, path);
          keep = true;
          break;
        }
      }
      // Either way this state is settled; the next change is offered again.
      stored = now;
    }
    if (last) {
      if (look == Look::Held) {
        // Still held by another program: the edits may be in the file, and the user learns where.
        Tell(job.owner, IDS_UPDATE_KEPT, MB_OK | MB_ICONWARNING, path);
        keep = true;
      }
      break;
    }
    if (!running && look == Look::Same && GetTickCount() - quietSince > QuietEndMs) break;
  }
  if (changes != INVALID_HANDLE_VALUE) FindCloseChangeNotification(changes);
  if (dialog) DestroyWindow(dialog);
  if (!keep) RemoveTempFolder(folder);
  return 1;
}

extern "C" void CALLBACK KickAndUpdate(HWND window, HINSTANCE, LPSTR commandLine, int) {
  char title[256];
  LoadLibraryString(IDS_WAITING_TITLE, title, sizeof title);
  if (window) SetWindowTextA(window, title);
  std::uint32_t value = 0;
  if (!ParseHandleDigits(commandLine, &value)) return;
  HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
  UpdateRequest request;
  DWORD got = 0, total = 0;
  auto* bytes = reinterpret_cast<char*>(&request);
  while (total < sizeof request &&
         ReadFile(pipe, bytes + total, sizeof request - total, &got, nullptr) && got > 0)
    total += got;
  CloseHandle(pipe);
  if (total != sizeof request) return;
  // Whatever the pipe held, every string ends inside its field.
  request.archivePath[sizeof request.archivePath - 1] = '\0';
  request.memberPath[sizeof request.memberPath - 1] = '\0';
  request.commandTemplate[sizeof request.commandTemplate - 1] = '\0';
  auto* archive = new (std::nothrow) Archive();
  if (!archive) return;
  archive->Retain();
  if (archive->OpenFile(request.archivePath) == ResultOk) {
    IncrementObjectCount();  // the job keeps the library in use while it runs
    UpdateJob job;
    job.owner = window;
    job.archive = archive;
    job.memberPath = request.memberPath;
    job.commandTemplate = request.commandTemplate;
    RunUpdateJob(job);
    if (job.process.hThread) CloseHandle(job.process.hThread);
    if (job.process.hProcess) CloseHandle(job.process.hProcess);
    DecrementObjectCount();
  }
  archive->Release();
}
