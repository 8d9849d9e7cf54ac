// Win32 implementation of the engine's platform layer: the calls the archive code was designed
// around, with nothing added.
#include <windows.h>

#include <cstdlib>

#include "FaultInjection.h"
#include "Platform.h"

namespace platform {
namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? NoFile : reinterpret_cast<FileHandle>(handle);
}

FILETIME ToFt(FileTime t) {
  FILETIME ft;
  ft.dwLowDateTime = t.low;
  ft.dwHighDateTime = t.high;
  return ft;
}

FileTime FromFt(const FILETIME& ft) { return FileTime{ft.dwLowDateTime, ft.dwHighDateTime}; }

SYSTEMTIME ToSt(const SystemTime& s) {
  SYSTEMTIME st;
  st.wYear = s.year;
  st.wMonth = s.month;
  st.wDayOfWeek = s.dayOfWeek;
  st.wDay = s.day;
  st.wHour = s.hour;
  st.wMinute = s.minute;
  st.wSecond = s.second;
  st.wMilliseconds = s.milliseconds;
  return st;
}

}  // namespace

FileHandle OpenFile(const char* path, OpenMode mode) {
  if (detail::WritesStopped() && (mode == OpenMode::CreateAlways || mode == OpenMode::CreateNew))
    return NoFile;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::ReadWriteExisting:
      break;
    case OpenMode::ReadExisting:
      access = GENERIC_READ;
      break;
    case OpenMode::CreateAlways:
      share = FILE_SHARE_READ;
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::CreateNew:
      share = FILE_SHARE_READ;
      disposition = CREATE_NEW;
      break;
  }
  return FromHandle(
      CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void CloseFile(FileHandle file) {
  if (file != NoFile) CloseHandle(ToHandle(file));
}

bool ReadFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got) {
  *got = 0;
  if (detail::InjectReadFailure()) return false;
  DWORD read = 0;
  BOOL ok = ::ReadFile(ToHandle(file), buffer, count, &read, nullptr);
  *got = read;
  return ok != FALSE;
}

bool WriteFile(FileHandle file, const void* buffer, std::uint32_t count) {
  if (detail::InjectWriteFailure()) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(ToHandle(file), buffer, count, &written, nullptr);
  return ok != FALSE && written == count;
}

std::int64_t SeekFile(FileHandle file, std::int64_t offset, SeekFrom from) {
  LARGE_INTEGER move;
  move.QuadPart = offset;
  LARGE_INTEGER result;
  DWORD method = from == SeekFrom::Begin ? FILE_BEGIN
                 : from == SeekFrom::Current ? FILE_CURRENT
                                             : FILE_END;
  if (!SetFilePointerEx(ToHandle(file), move, &result, method)) return -1;
  return result.QuadPart;
}

std::int64_t FileSize(FileHandle file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(ToHandle(file), &size)) return -1;
  return size.QuadPart;
}

bool SetEndOfFile(FileHandle file) {
  return !detail::WritesStopped() && ::SetEndOfFile(ToHandle(file)) != FALSE;
}

bool FlushFile(FileHandle file) { return FlushFileBuffers(ToHandle(file)) != FALSE; }

bool ReserveFileSize(FileHandle file, std::int64_t size) {
  if (detail::WritesStopped()) return false;
  std::int64_t current = FileSize(file);
  if (current < 0) return false;
  if (current >= size) return true;
  LARGE_INTEGER zero = {};
  LARGE_INTEGER position;
  if (!SetFilePointerEx(ToHandle(file), zero, &position, FILE_CURRENT)) return false;
  // SetEndOfFile allocates the clusters of the new length.
  LARGE_INTEGER end;
  end.QuadPart = size;
  bool ok = SetFilePointerEx(ToHandle(file), end, nullptr, FILE_BEGIN) &&
            ::SetEndOfFile(ToHandle(file));
  SetFilePointerEx(ToHandle(file), position, nullptr, FILE_BEGIN);
  return ok;
}

bool LockWholeFile(FileHandle file) {
  return LockFile(ToHandle(file), 0, 0, 0xFFFFFFFF, 0) != FALSE;
}

bool SameFile(FileHandle file, const char* path) {
  HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  const bool same = GetFileInformationByHandle(ToHandle(file), &a) &&
                    GetFileInformationByHandle(named, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(named);
  return same;
}

bool UnlockWholeFile(FileHandle file) {
  return UnlockFile(ToHandle(file), 0, 0, 0xFFFFFFFF, 0) != FALSE;
}

bool WholeFileLockedElsewhere(FileHandle) { return false; }

int CompareFileTime(FileTime a, FileTime b) {
  FILETIME fa = ToFt(a);
  FILETIME fb = ToFt(b);
  return ::CompareFileTime(&fa, &fb);
}

bool GetFileTimes(FileHandle file, FileTime* create, FileTime* access, FileTime* write) {
  FILETIME c, a, w;
  if (!GetFileTime(ToHandle(file), &c, &a, &w)) return false;
  if (create) *create = FromFt(c);
  if (access) *access = FromFt(a);
  if (write) *write = FromFt(w);
  return true;
}

bool SetFileTimes(FileHandle file, const FileTime* create, const FileTime* access,
                  const FileTime* write) {
  if (detail::WritesStopped()) return false;
  FILETIME c = create ? ToFt(*create) : FILETIME{};
  FILETIME a = access ? ToFt(*access) : FILETIME{};
  FILETIME w = write ? ToFt(*write) : FILETIME{};
  return SetFileTime(ToHandle(file), create ? &c : nullptr, access ? &a : nullptr,
                     write ? &w : nullptr) != FALSE;
}

FileHandle CreateTempFile() {
  char folder[MAX_PATH];
  char name[MAX_PATH];
  DWORD length = GetTempPathA(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return NoFile;
  if (GetTempFileNameA(folder, "LZH", 0, name) == 0) return NoFile;
  HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) DeleteFileA(name);
  return FromHandle(handle);
}

bool TempDirectory(char* out, std::size_t size) {
  DWORD length = GetTempPathA(static_cast<DWORD>(size), out);
  return length != 0 && length < size;
}

bool MakeDirectory(const char* path) {
  return !detail::WritesStopped() && CreateDirectoryA(path, nullptr) != FALSE;
}

std::uint32_t GetAttributes(const char* path) { return GetFileAttributesA(path); }

bool SetAttributes(const char* path, std::uint32_t attributes) {
  return !detail::WritesStopped() && SetFileAttributesA(path, attributes) != FALSE;
}

bool SetPathTimes(const char* path, const FileTime* create, const FileTime* access,
                  const FileTime* write) {
  HANDLE handle = CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = SetFileTimes(reinterpret_cast<FileHandle>(handle), create, access, write);
  CloseHandle(handle);
  return ok;
}

bool RemoveFile(const char* path) { return !detail::WritesStopped() && DeleteFileA(path) != FALSE; }

bool ReplaceFileWith(const char* source, const char* target) {
  return !detail::WritesStopped() &&
         MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool RemoveFolder(const char* path) {
  return !detail::WritesStopped() && RemoveDirectoryA(path) != FALSE;
}

bool IsLink(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

char PathSeparator() { return '\\'; }

MemoryBlock AllocBlock(std::size_t size, bool zero) {
  if (detail::InjectAllocFailure()) return NoBlock;
  return reinterpret_cast<MemoryBlock>(GlobalAlloc(GMEM_MOVEABLE | (zero ? GMEM_ZEROINIT : 0), size));
}

void* LockBlock(MemoryBlock block) { return GlobalLock(reinterpret_cast<HGLOBAL>(block)); }

void UnlockBlock(MemoryBlock block) { GlobalUnlock(reinterpret_cast<HGLOBAL>(block)); }

void FreeBlock(MemoryBlock block) {
  if (block != NoBlock) GlobalFree(reinterpret_cast<HGLOBAL>(block));
}

std::size_t BlockSize(MemoryBlock block) { return GlobalSize(reinterpret_cast<HGLOBAL>(block)); }

void* AllocLarge(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void FreeLarge(void* memory, std::size_t) { std::free(memory); }

bool IsDBCSLeadByte(std::uint8_t byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

bool DosDateTimeToFileTime(std::uint16_t date, std::uint16_t time, FileTime* out) {
  FILETIME ft;
  if (!::DosDateTimeToFileTime(date, time, &ft)) return false;
  *out = FromFt(ft);
  return true;
}

bool FileTimeToDosDateTime(FileTime in, std::uint16_t* date, std::uint16_t* time) {
  FILETIME ft = ToFt(in);
  WORD d = 0, t = 0;
  if (!::FileTimeToDosDateTime(&ft, &d, &t)) return false;
  *date = d;
  *time = t;
  return true;
}

bool LocalFileTimeToFileTime(FileTime local, FileTime* utc) {
  FILETIME in = ToFt(local);
  FILETIME out;
  if (!::LocalFileTimeToFileTime(&in, &out)) return false;
  *utc = FromFt(out);
  return true;
}

bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) {
  FILETIME in = ToFt(utc);
  FILETIME out;
  if (!::FileTimeToLocalFileTime(&in, &out)) return false;
  *local = FromFt(out);
  return true;
}

bool SystemTimeToFileTime(const SystemTime& in, FileTime* out) {
  SYSTEMTIME st = ToSt(in);
  FILETIME ft;
  if (!::SystemTimeToFileTime(&st, &ft)) return false;
  *out = FromFt(ft);
  return true;
}

bool FileTimeToSystemTime(FileTime in, SystemTime* out) {
  FILETIME ft = ToFt(in);
  SYSTEMTIME st;
  if (!::FileTimeToSystemTime(&ft, &st)) return false;
  *out = SystemTime{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay,
                    st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return true;
}

std::int64_t LocalStandardTimeToUnix(const SystemTime& local) {
  // Standard time only: UTC = local + Bias, whatever daylight-saving rule the zone has.
  SYSTEMTIME st = ToSt(local);
  st.wMilliseconds = 0;
  FILETIME ft;
  if (!::SystemTimeToFileTime(&st, &ft)) return -1;
  TIME_ZONE_INFORMATION zone;
  LONG bias = 0;
  if (GetTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID) bias = zone.Bias + zone.StandardBias;
  const std::int64_t unixEpoch = 116444736000000000LL;  // 1970-01-01 as a FILETIME
  std::int64_t ticks = static_cast<std::int64_t>(ToU64(FromFt(ft))) - unixEpoch;
  return ticks / 10000000 + static_cast<std::int64_t>(bias) * 60;
}

bool FormatDate(const SystemTime& time, std::uint32_t flags, char* out, std::size_t size) {
  SYSTEMTIME st = ToSt(time);
  return GetDateFormatA(LOCALE_USER_DEFAULT, flags, &st, nullptr, out, static_cast<int>(size)) != 0;
}

bool FormatTime(const SystemTime& time, std::uint32_t flags, char* out, std::size_t size) {
  SYSTEMTIME st = ToSt(time);
  return GetTimeFormatA(LOCALE_USER_DEFAULT, flags, &st, nullptr, out, static_cast<int>(size)) != 0;
}

std::uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

void YieldThread() { Sleep(0); }

}  // namespace platform
