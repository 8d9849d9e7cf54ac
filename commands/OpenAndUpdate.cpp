#include "commands/OpenAndUpdate.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "archive/Archive.h"
#include "archive/ArchiveRewrite.h"
#include "archive/PathName.h"
#include "archive/TimeConversion.h"
#include "commands/UpdateRequest.h"
#include "namespace/ModuleState.h"
#include "namespace/ResourceText.h"
#include "operations/TempCopy.h"
#include "resources/resource.h"

namespace {

// How long the watcher waits for a file that another process (a program the application
// started, say) still holds open, before it leaves the file where it is.
constexpr int HeldFileRetries = 120;
constexpr DWORD HeldFileRetryMs = 500;

// Shows string `id` filled with up to three texts; the answer of the message box.
int Tell(HWND owner, UINT id, UINT style, const char* a, const char* b = "", const char* c = "") {
  char format[512], caption[128], text[2048];
  LoadLibraryString(id, format, sizeof format);
  LoadLibraryString(IDS_UPDATE_TITLE, caption, sizeof caption);
  std::snprintf(text, sizeof text, format, a, b, c);
  return MessageBoxExA(owner, text, caption, style, 0);
}

void DeleteTemp(const char* path) {
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
}

// Opens the file the application worked on, waiting while another process still holds it.
HANDLE OpenEdited(const char* path, bool* held) {
  *held = false;
  for (int attempt = 0;; ++attempt) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return file;
    if (attempt == HeldFileRetries) {
      *held = true;
      return file;
    }
    Sleep(HeldFileRetryMs);
  }
}

// True when the member at `path` is still the one that was extracted.
bool MemberUnchanged(Archive& archive, const char* path, const ArchiveEntry& extracted) {
  if (!archive.Lock(false)) return false;
  ArchiveEntry now;
  const std::int32_t index = archive.FindMember(path);
  const bool same = index >= 0 && archive.GetMemberFixed(static_cast<std::uint32_t>(index), &now) &&
                    now.crc == extracted.crc && now.originalSize == extracted.originalSize &&
                    now.modifyTime == extracted.modifyTime &&
                    now.packedSize == extracted.packedSize;
  archive.Unlock();
  return same;
}

// Compresses the edited file back into the archive. False when the archive could not take it.
bool StoreEdited(UpdateJob& job, ArchiveEntry& entry, const char* path) {
  if (!StageFile(*job.archive, &entry, path, nullptr, nullptr)) return false;
  if (Commit(*job.archive)) return true;
  // Taken back, so that no later change of this archive object commits it by surprise.
  char key[EntryPathMax];
  EntryPath(entry, key);
  Unstage(*job.archive, key);
  return false;
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
  const char* p = commandTemplate;
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) putApplication(*p);
    if (*p == '"') ++p;
    while (*p == ' ') ++p;
  } else {
    for (; *p && *p != '"' && *p != '%'; ++p) putApplication(*p);
  }
  if (fits) {
    put(application, a);
    put(" ", 1);
  }
  bool quoted = false;
  for (; fits && *p; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      put(p, 1);
    } else if (*p == '%') {
      if (p[1] == '\0') break;  // a lone percent sign at the end is dropped
      ++p;
      if (*p == '1') put(tempPath, std::strlen(tempPath));
      else put(p, 1);  // "%%" gives "%", "%*" gives "*"
    } else {
      put(p, 1);
    }
  }
  if (fits && quoted) put("\"", 1);
  if (!fits) {
    if (applicationSize) application[0] = '\0';
    if (commandLineSize) commandLine[0] = '\0';
    return false;
  }
  application[a] = '\0';
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
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, sizeof request)) return 0;
  DWORD written = 0;
  int started = 0;
  char library[MAX_PATH];
  const DWORD length = GetModuleFileNameA(ModuleInstance, library, sizeof library);
  if (WriteFile(writeEnd, &request, sizeof request, &written, nullptr) &&
      written == sizeof request && length > 0 && length < sizeof library) {
    // The library's path is quoted: installations often have spaces in it.
    char command[MAX_PATH + 64];
    std::snprintf(command, sizeof command, "rundll32.exe \"%s\",KickAndUpdate %08x", library,
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(readEnd)));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
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
  const char* member = PathNamePart(job.memberPath);
  char application[MAX_PATH], commandLine[2048];
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  if (!BuildCommandLine(job.commandTemplate, application, sizeof application, commandLine,
                        sizeof commandLine, path) ||
      !CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &job.process)) {
    job.process = PROCESS_INFORMATION{};
    DeleteTemp(path);
    Tell(job.owner, IDS_UPDATE_CANNOT_START, MB_OK | MB_ICONWARNING, member);
    return 0;
  }
  WaitForSingleObject(job.process.hProcess, INFINITE);

  bool held = false;
  HANDLE file = OpenEdited(path, &held);
  if (file == INVALID_HANDLE_VALUE) {
    // Still held by another program: the edits stay in the file, and the user learns where.
    if (held) Tell(job.owner, IDS_UPDATE_KEPT, MB_OK | MB_ICONWARNING, path);
    else DeleteTemp(path);
    return 0;
  }
  FILETIME access = {}, write = {};
  GetFileTime(file, nullptr, &access, &write);
  const std::uint32_t written = FileTimeToUnix(platform::FileTime{write.dwLowDateTime, write.dwHighDateTime});
  bool keep = false;
  // Whole seconds are compared; a time moved either way means the application saved.
  if (written != entry.modifyTime &&
      Tell(job.owner, IDS_UPDATE_QUESTION, MB_YESNO | MB_ICONQUESTION, member,
           PathNamePart(job.archive->Path())) == IDYES) {
    const ArchiveEntry extracted = entry;
    entry.originalSize = GetFileSize(file, nullptr);
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    entry.modifyTime = written;
    entry.accessTime = FileTimeToUnix(platform::FileTime{access.dwLowDateTime, access.dwHighDateTime});
    if (!MemberUnchanged(*job.archive, job.memberPath, extracted) &&
        Tell(job.owner, IDS_UPDATE_MEMBER_CHANGED, MB_YESNO | MB_ICONWARNING, member) != IDYES) {
      keep = true;
      Tell(job.owner, IDS_UPDATE_KEPT, MB_OK | MB_ICONINFORMATION, path);
    } else if (!StoreEdited(job, entry, path)) {
      // The message says where the edited file stays.
      keep = true;
      Tell(job.owner, IDS_UPDATE_NOT_STORED, MB_OK | MB_ICONWARNING, member,
           PathNamePart(job.archive->Path()), path);
    }
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!keep) DeleteTemp(path);
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
