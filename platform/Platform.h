// The engine's only door to the operating system.
//
// The archive container and the codec reach files, locks, temporary files, times, movable memory
// blocks and the code page only through these functions. PlatformWin32.cpp makes the Win32 calls
// (CreateFile, LockFile, GetTempFileName with FILE_FLAG_DELETE_ON_CLOSE, GlobalAlloc, ...);
// PlatformPosix.cpp behaves the same on Linux so the engine can be built natively for sanitizers,
// fuzzing, benchmarks and the command-line tool.
#pragma once

#include <cstdint>
#include <cstddef>

namespace platform {

// ---------------------------------------------------------------------------------------------
// Files

// An open file. Null (0) is "no file". On Windows this is the HANDLE; on POSIX a descriptor + 1.
using FileHandle = std::uintptr_t;
constexpr FileHandle NoFile = 0;

enum class OpenMode {
  ReadWriteExisting,  // GENERIC_READ|GENERIC_WRITE, share read|write, OPEN_EXISTING (archives)
  ReadExisting,       // GENERIC_READ, share read|write, OPEN_EXISTING (files to add)
  CreateAlways,       // GENERIC_READ|GENERIC_WRITE, share read, CREATE_ALWAYS (extracted files)
  CreateNew,          // as CreateAlways but fails when the file exists
};

FileHandle OpenFile(const char* path, OpenMode mode);
void CloseFile(FileHandle file);

// Reads up to `count` bytes; `*got` receives what was read (0 at the end). False on an I/O error.
bool ReadFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got);
// Writes `count` bytes; false unless all of them were written.
bool WriteFile(FileHandle file, const void* buffer, std::uint32_t count);

enum class SeekFrom { Begin, Current, End };
// Moves the file position; returns the new position, or -1 on failure.
std::int64_t SeekFile(FileHandle file, std::int64_t offset, SeekFrom from);
// Size of the file in bytes, or -1.
std::int64_t FileSize(FileHandle file);
// Cuts (or extends) the file at the current position.
bool SetEndOfFile(FileHandle file);
bool FlushFile(FileHandle file);
// Makes sure the file owns disk space for its first `size` bytes, growing it when it is shorter
// (never shrinking it), so that later writes inside that range cannot fail for lack of space.
// The file position is unchanged.
bool ReserveFileSize(FileHandle file, std::int64_t size);

// Whole-file lock (LockFile over offset 0, length 0xFFFFFFFF). Does not wait: fails at once when
// another handle, in this process or another, holds it. On POSIX an open-file-description lock, so
// two handles of one process exclude each other as two Windows handles do.
bool LockWholeFile(FileHandle file);
bool UnlockWholeFile(FileHandle file);
// True when `path` names the very file `file` has open (same volume and file index; POSIX: device
// and inode), false when it names another file, nothing, or cannot be asked.
bool SameFile(FileHandle file, const char* path);
// True when another handle holds the whole-file lock. Windows: always false, because there a
// read of a range another handle has locked fails by itself; POSIX locks do not stop reads, so
// a reader asks before and after reading the file through.
bool WholeFileLockedElsewhere(FileHandle file);

// Windows FILETIME: 100-ns intervals since 1601-01-01 UTC, split in two 32-bit halves.
struct FileTime {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
};
inline std::uint64_t ToU64(FileTime t) { return (std::uint64_t{t.high} << 32) | t.low; }
inline FileTime FromU64(std::uint64_t v) {
  return FileTime{static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32)};
}
// -1, 0 or 1 like CompareFileTime.
int CompareFileTime(FileTime a, FileTime b);

// Times of an open file; any output may be null.
bool GetFileTimes(FileHandle file, FileTime* create, FileTime* access, FileTime* write);
// Sets the times of an open file; a null input leaves that time unchanged.
bool SetFileTimes(FileHandle file, const FileTime* create, const FileTime* access,
                  const FileTime* write);

// A new empty temporary file in the user's temporary folder (GetTempPath + GetTempFileName with
// the prefix "LZH"), opened for reading and writing and deleted when closed.
FileHandle CreateTempFile();
// The temporary folder with a trailing separator (GetTempPath; POSIX: $TMPDIR, else /tmp).
bool TempDirectory(char* out, std::size_t size);

// ---------------------------------------------------------------------------------------------
// File system

constexpr std::uint32_t AttrReadOnly = 0x01;
constexpr std::uint32_t AttrHidden = 0x02;
constexpr std::uint32_t AttrSystem = 0x04;
constexpr std::uint32_t AttrDirectory = 0x10;
constexpr std::uint32_t AttrArchive = 0x20;
constexpr std::uint32_t AttrNormal = 0x80;
constexpr std::uint32_t InvalidAttributes = 0xFFFFFFFF;

bool MakeDirectory(const char* path);
// The MS-DOS attribute bits (GetFileAttributes), or InvalidAttributes when the path does not exist.
std::uint32_t GetAttributes(const char* path);
bool SetAttributes(const char* path, std::uint32_t attributes);
// Sets the times of a folder (or file) by path; a null input leaves that time unchanged.
bool SetPathTimes(const char* path, const FileTime* create, const FileTime* access,
                  const FileTime* write);
bool RemoveFile(const char* path);
bool RemoveFolder(const char* path);
// True when `path` itself (not what it leads to) is a link: a symbolic link on POSIX, a reparse
// point (symbolic link, junction, mount point) on Windows. False when it is none or is missing.
bool IsLink(const char* path);
// Moves the file `source` onto `target` in one step, replacing a file there (MoveFileEx with
// MOVEFILE_REPLACE_EXISTING; POSIX rename). Both lie in one folder.
bool ReplaceFileWith(const char* source, const char* target);
// The path separator written between components of a path on disk ('\\' on Windows, '/' on POSIX).
char PathSeparator();

// ---------------------------------------------------------------------------------------------
// Movable memory blocks (GlobalAlloc GMEM_MOVEABLE). Decoded members and copy buffers travel in
// them; the receiver frees them.

using MemoryBlock = std::uintptr_t;
constexpr MemoryBlock NoBlock = 0;

// A movable block of `size` bytes, zero-filled when `zero` is set; NoBlock when memory is short.
MemoryBlock AllocBlock(std::size_t size, bool zero);
void* LockBlock(MemoryBlock block);
void UnlockBlock(MemoryBlock block);
void FreeBlock(MemoryBlock block);
std::size_t BlockSize(MemoryBlock block);

// Plain memory for the large arrays of a catalogue. Requests of megabytes get large pages where
// the system offers them: filling a big array page by page is otherwise dominated by page faults.
// Null when memory is short; FreeLarge takes the size that was asked for.
void* AllocLarge(std::size_t size);
void FreeLarge(void* memory, std::size_t size);

// ---------------------------------------------------------------------------------------------
// Code page (the system's ANSI code page: 932 on Japanese systems)

// True when `byte` starts a double-byte character (IsDBCSLeadByte). POSIX: the CP932 lead ranges
// 0x81-0x9F and 0xE0-0xFC.
bool IsDBCSLeadByte(std::uint8_t byte);

// ---------------------------------------------------------------------------------------------
// Times and time zones

struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

bool DosDateTimeToFileTime(std::uint16_t date, std::uint16_t time, FileTime* out);
bool FileTimeToDosDateTime(FileTime in, std::uint16_t* date, std::uint16_t* time);
bool LocalFileTimeToFileTime(FileTime local, FileTime* utc);
bool FileTimeToLocalFileTime(FileTime utc, FileTime* local);
bool SystemTimeToFileTime(const SystemTime& in, FileTime* out);
bool FileTimeToSystemTime(FileTime in, SystemTime* out);
// Seconds since 1970 UTC of a local calendar time, taken as standard time (daylight-saving flag 0)
// under the process's time-zone rules, as the C runtime's mktime does. -1 when out of range.
std::int64_t LocalStandardTimeToUnix(const SystemTime& local);
// Date and time texts of the user's locale (GetDateFormatA / GetTimeFormatA with the given flags;
// 0 for the default short forms). False when the text does not fit.
bool FormatDate(const SystemTime& time, std::uint32_t flags, char* out, std::size_t size);
bool FormatTime(const SystemTime& time, std::uint32_t flags, char* out, std::size_t size);

// ---------------------------------------------------------------------------------------------
// Threads

std::uint32_t CurrentThreadId();
void YieldThread();  // Sleep(0)

// ---------------------------------------------------------------------------------------------
// Fault injection for tests: make the n-th following write (or read) fail, counting from 1.
// 0 switches it off. Process-wide; tests that use it must not run file work on other threads.
void FailNthWrite(std::uint32_t n);
void FailNthRead(std::uint32_t n);
// The same for AllocBlock: the n-th following allocation returns NoBlock.
void FailNthAlloc(std::uint32_t n);
// A crash, as far as the disk can tell: the n-th following write and every later call that
// changes a file or a folder (writes, lengths, times, attributes, creating, removing, renaming)
// fail, until StopWritesFrom(0).
void StopWritesFrom(std::uint32_t n);

}  // namespace platform
