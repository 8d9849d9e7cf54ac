// POSIX implementation of the engine's platform layer. It mirrors the Win32 behaviour the engine
// relies on: non-waiting whole-file locks that exclude other handles of the same process
// (open-file-description locks), delete-on-close temporary files (unlinked at once), CP932
// lead bytes, and Windows' time conversions (FILETIME arithmetic, the current zone offset for
// local FILETIMEs, standard time for local calendar times).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sched.h>

#include "FaultInjection.h"
#include "Platform.h"

namespace platform {
namespace {

int Fd(FileHandle file) { return static_cast<int>(file) - 1; }
FileHandle FromFd(int fd) { return fd < 0 ? NoFile : static_cast<FileHandle>(fd) + 1; }

constexpr std::int64_t TicksPerSecond = 10000000;
constexpr std::int64_t UnixEpochTicks = 116444736000000000LL;  // 1970-01-01 as a FILETIME

FileTime FromTimespec(const struct timespec& ts) {
  std::int64_t ticks = UnixEpochTicks + std::int64_t{ts.tv_sec} * TicksPerSecond + ts.tv_nsec / 100;
  return FromU64(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

struct timespec ToTimespec(FileTime t) {
  std::int64_t ticks = static_cast<std::int64_t>(ToU64(t)) - UnixEpochTicks;
  std::int64_t seconds = ticks / TicksPerSecond;
  std::int64_t rest = ticks % TicksPerSecond;
  if (rest < 0) {
    rest += TicksPerSecond;
    --seconds;
  }
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return ts;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1601-01-01 to the given date (proleptic Gregorian calendar).
std::int64_t DaysSince1601(int year, int month, int day) {
  std::int64_t y = year - 1601;
  std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

// Offset of local time from UTC now, in seconds east, as Windows applies to local FILETIMEs.
std::int64_t CurrentZoneOffset() {
  time_t now = time(nullptr);
  struct tm local;
  if (!localtime_r(&now, &local)) return 0;
  return local.tm_gmtoff;
}

}  // namespace

FileHandle OpenFile(const char* path, OpenMode mode) {
  if (detail::WritesStopped() && (mode == OpenMode::CreateAlways || mode == OpenMode::CreateNew))
    return NoFile;
  int flags = O_RDWR;
  switch (mode) {
    case OpenMode::ReadWriteExisting:
      break;
    case OpenMode::ReadExisting:
      flags = O_RDONLY;
      break;
    case OpenMode::CreateAlways:
      flags = O_RDWR | O_CREAT | O_TRUNC;
      break;
    case OpenMode::CreateNew:
      flags = O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  int fd = open(path, flags | O_CLOEXEC, 0666);
  if (fd >= 0) {
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      close(fd);
      return NoFile;
    }
  }
  return FromFd(fd);
}

void CloseFile(FileHandle file) {
  if (file != NoFile) close(Fd(file));
}

bool ReadFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got) {
  *got = 0;
  if (detail::InjectReadFailure()) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  std::uint32_t done = 0;
  // Like ReadFile on a disk file: a short count only at the end of the file.
  while (done < count) {
    ssize_t n = read(Fd(file), out + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *got = done;
      return false;
    }
    if (n == 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  *got = done;
  return true;
}

bool WriteFile(FileHandle file, const void* buffer, std::uint32_t count) {
  if (detail::InjectWriteFailure()) return false;
  const auto* in = static_cast<const unsigned char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    ssize_t n = write(Fd(file), in + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<std::uint32_t>(n);
  }
  return true;
}

std::int64_t SeekFile(FileHandle file, std::int64_t offset, SeekFrom from) {
  int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
  off_t result = lseek(Fd(file), static_cast<off_t>(offset), whence);
  return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

std::int64_t FileSize(FileHandle file) {
  struct stat st;
  if (fstat(Fd(file), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool SetEndOfFile(FileHandle file) {
  if (detail::WritesStopped()) return false;
  off_t position = lseek(Fd(file), 0, SEEK_CUR);
  return position >= 0 && ftruncate(Fd(file), position) == 0;
}

bool FlushFile(FileHandle file) { return fsync(Fd(file)) == 0; }

bool ReserveFileSize(FileHandle file, std::int64_t size) {
  if (detail::WritesStopped()) return false;
  if (size <= 0) return true;
  int rc = posix_fallocate(Fd(file), 0, static_cast<off_t>(size));
  if (rc == 0) return true;
  if (rc != EOPNOTSUPP && rc != EINVAL) return false;
  // A file system without allocation: at least give the file its length.
  struct stat st;
  if (fstat(Fd(file), &st) != 0) return false;
  return st.st_size >= size || ftruncate(Fd(file), static_cast<off_t>(size)) == 0;
}

static bool SetWholeFileLock(FileHandle file, short type) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0xFFFFFFFFLL;
  return fcntl(Fd(file), F_OFD_SETLK, &lock) == 0;
}

bool LockWholeFile(FileHandle file) {
  // LockFile takes an exclusive range whatever the handle's access; a handle opened for reading
  // only cannot take a write lock here, so it takes a read lock (still excluding writers' locks).
  int mode = fcntl(Fd(file), F_GETFL);
  short type = (mode & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK;
  return SetWholeFileLock(file, type);
}

bool UnlockWholeFile(FileHandle file) { return SetWholeFileLock(file, F_UNLCK); }

bool SameFile(FileHandle file, const char* path) {
  struct stat open, named;
  return fstat(Fd(file), &open) == 0 && stat(path, &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

bool WholeFileLockedElsewhere(FileHandle file) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  // Asking for a read lock: only a writer's lock conflicts with it, and this handle's own never.
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0xFFFFFFFFLL;
  return fcntl(Fd(file), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

int CompareFileTime(FileTime a, FileTime b) {
  std::uint64_t x = ToU64(a);
  std::uint64_t y = ToU64(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

bool GetFileTimes(FileHandle file, FileTime* create, FileTime* access, FileTime* write) {
  struct stat st;
  if (fstat(Fd(file), &st) != 0) return false;
  // No creation time in struct stat: the status-change time is the nearest thing.
  if (create) *create = FromTimespec(st.st_ctim);
  if (access) *access = FromTimespec(st.st_atim);
  if (write) *write = FromTimespec(st.st_mtim);
  return true;
}

bool SetFileTimes(FileHandle file, const FileTime* create, const FileTime* access,
                  const FileTime* write) {
  if (detail::WritesStopped()) return false;
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (access) times[0] = ToTimespec(*access);
  if (write) times[1] = ToTimespec(*write);
  (void)create;  // POSIX file systems keep no settable creation time.
  return futimens(Fd(file), times) == 0;
}

FileHandle CreateTempFile() {
  char folder[PATH_MAX];
  if (!TempDirectory(folder, sizeof folder)) return NoFile;
  char name[PATH_MAX];
  if (std::snprintf(name, sizeof name, "%sLZHXXXXXX", folder) >= static_cast<int>(sizeof name))
    return NoFile;
  int fd = mkostemp(name, O_CLOEXEC);
  if (fd < 0) return NoFile;
  unlink(name);  // deleted when the last descriptor closes, like FILE_FLAG_DELETE_ON_CLOSE
  return FromFd(fd);
}

bool TempDirectory(char* out, std::size_t size) {
  const char* dir = std::getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  std::size_t length = std::strlen(dir);
  bool slash = dir[length - 1] == '/';
  if (length + (slash ? 0 : 1) + 1 > size) return false;
  std::memcpy(out, dir, length);
  if (!slash) out[length++] = '/';
  out[length] = '\0';
  return true;
}

bool MakeDirectory(const char* path) { return !detail::WritesStopped() && mkdir(path, 0777) == 0; }

std::uint32_t GetAttributes(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return InvalidAttributes;
  if (S_ISDIR(st.st_mode)) return AttrDirectory;
  std::uint32_t attributes = AttrArchive;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= AttrReadOnly;
  return attributes;
}

bool SetAttributes(const char* path, std::uint32_t attributes) {
  if (detail::WritesStopped()) return false;
  struct stat st;
  if (stat(path, &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & AttrReadOnly)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  return chmod(path, mode) == 0;
}

bool SetPathTimes(const char* path, const FileTime* create, const FileTime* access,
                  const FileTime* write) {
  if (detail::WritesStopped()) return false;
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (access) times[0] = ToTimespec(*access);
  if (write) times[1] = ToTimespec(*write);
  (void)create;
  return utimensat(AT_FDCWD, path, times, 0) == 0;
}

bool RemoveFile(const char* path) { return !detail::WritesStopped() && unlink(path) == 0; }

bool ReplaceFileWith(const char* source, const char* target) {
  return !detail::WritesStopped() && rename(source, target) == 0;
}

bool RemoveFolder(const char* path) { return !detail::WritesStopped() && rmdir(path) == 0; }

bool IsLink(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

char PathSeparator() { return '/'; }

namespace {
// A movable block is a memory area with its size in front; "locking" returns the payload.
struct BlockHeader {
  std::size_t size;
  std::size_t mappedLength;  // 0 for a heap block, else the length of its own mapping
  std::max_align_t align[1];
};
constexpr std::size_t PayloadOffset = offsetof(BlockHeader, align);

// Blocks from this size on (a whole decoded member, a packed stream) get a mapping of their own,
// aligned to and asking for 2 MiB pages: filling a large block page by page costs more in page
// faults than decoding into it, and copying out of small pages makes the file write slower.
constexpr std::size_t LargePage = std::size_t{2} << 20;

void* MapLarge(std::size_t length) {
  // Over-map by one large page and cut the unaligned ends off.
  const std::size_t padded = length + LargePage;
  void* raw = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + LargePage - 1) & ~std::uintptr_t(LargePage - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = start + padded;
  if (end > aligned + length)
    munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // a hint; failure is harmless
#endif
  return reinterpret_cast<void*>(aligned);
}

std::size_t MappedLength(std::size_t size) {
  const std::size_t pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (size + pageSize - 1) / pageSize * pageSize;
}

// From this size on an array takes whole large pages: the rest of the last one is wasted, but
// the hundreds of small-page faults it saves cost more than zeroing it.
constexpr std::size_t LargeArrayThreshold = LargePage / 8;

std::size_t LargeArrayLength(std::size_t size) {
  return (size + LargePage - 1) / LargePage * LargePage;
}
}  // namespace

void* AllocLarge(std::size_t size) {
  if (size > SIZE_MAX - 2 * LargePage) return nullptr;
  if (size >= LargeArrayThreshold) return MapLarge(LargeArrayLength(size));
  return std::malloc(size == 0 ? 1 : size);
}

void FreeLarge(void* memory, std::size_t size) {
  if (!memory) return;
  if (size >= LargeArrayThreshold) {
    munmap(memory, LargeArrayLength(size));
  } else {
    std::free(memory);
  }
}

MemoryBlock AllocBlock(std::size_t size, bool zero) {
  if (detail::InjectAllocFailure()) return NoBlock;
  if (size > SIZE_MAX - PayloadOffset - 2 * LargePage) return NoBlock;
  void* memory = nullptr;
  std::size_t mapped = 0;
  if (size >= LargePage) {
    mapped = MappedLength(PayloadOffset + size);
    memory = MapLarge(mapped);  // fresh anonymous pages read as zero
  } else {
    memory = zero ? std::calloc(1, PayloadOffset + size) : std::malloc(PayloadOffset + size);
  }
  if (!memory) return NoBlock;
  static_cast<BlockHeader*>(memory)->size = size;
  static_cast<BlockHeader*>(memory)->mappedLength = mapped;
  return reinterpret_cast<MemoryBlock>(memory);
}

void* LockBlock(MemoryBlock block) {
  if (block == NoBlock) return nullptr;
  return reinterpret_cast<unsigned char*>(block) + PayloadOffset;
}

void UnlockBlock(MemoryBlock) {}

void FreeBlock(MemoryBlock block) {
  if (block == NoBlock) return;
  auto* header = reinterpret_cast<BlockHeader*>(block);
  if (header->mappedLength != 0) {
    munmap(header, header->mappedLength);
  } else {
    std::free(header);
  }
}

std::size_t BlockSize(MemoryBlock block) {
  return block == NoBlock ? 0 : reinterpret_cast<BlockHeader*>(block)->size;
}

bool IsDBCSLeadByte(std::uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool DosDateTimeToFileTime(std::uint16_t date, std::uint16_t time, FileTime* out) {
  SystemTime st;
  st.year = static_cast<std::uint16_t>(1980 + (date >> 9));
  st.month = static_cast<std::uint16_t>((date >> 5) & 0x0F);
  st.day = static_cast<std::uint16_t>(date & 0x1F);
  st.hour = static_cast<std::uint16_t>(time >> 11);
  st.minute = static_cast<std::uint16_t>((time >> 5) & 0x3F);
  st.second = static_cast<std::uint16_t>((time & 0x1F) * 2);
  return SystemTimeToFileTime(st, out);
}

bool FileTimeToDosDateTime(FileTime in, std::uint16_t* date, std::uint16_t* time) {
  SystemTime st;
  if (!FileTimeToSystemTime(in, &st)) return false;
  if (st.year < 1980 || st.year > 2107) return false;
  *date = static_cast<std::uint16_t>(((st.year - 1980) << 9) | (st.month << 5) | st.day);
  *time = static_cast<std::uint16_t>((st.hour << 11) | (st.minute << 5) | (st.second / 2));
  return true;
}

bool LocalFileTimeToFileTime(FileTime local, FileTime* utc) {
  std::int64_t ticks = static_cast<std::int64_t>(ToU64(local)) - CurrentZoneOffset() * TicksPerSecond;
  if (ticks < 0) return false;
  *utc = FromU64(static_cast<std::uint64_t>(ticks));
  return true;
}

bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) {
  std::int64_t ticks = static_cast<std::int64_t>(ToU64(utc)) + CurrentZoneOffset() * TicksPerSecond;
  if (ticks < 0) return false;
  *local = FromU64(static_cast<std::uint64_t>(ticks));
  return true;
}

bool SystemTimeToFileTime(const SystemTime& in, FileTime* out) {
  if (in.year < 1601 || in.year > 30827 || in.month < 1 || in.month > 12 || in.day < 1 ||
      in.day > DaysInMonth(in.year, in.month) || in.hour > 23 || in.minute > 59 ||
      in.second > 59 || in.milliseconds > 999)
    return false;
  std::int64_t seconds = DaysSince1601(in.year, in.month, in.day) * 86400 + in.hour * 3600 +
                         in.minute * 60 + in.second;
  *out = FromU64(static_cast<std::uint64_t>(seconds * TicksPerSecond + in.milliseconds * 10000LL));
  return true;
}

bool FileTimeToSystemTime(FileTime in, SystemTime* out) {
  std::uint64_t ticks = ToU64(in);
  if (ticks >> 63) return false;
  std::uint64_t milliseconds = ticks / 10000;
  std::uint64_t seconds = milliseconds / 1000;
  std::int64_t days = static_cast<std::int64_t>(seconds / 86400);
  std::uint32_t secondOfDay = static_cast<std::uint32_t>(seconds % 86400);
  SystemTime st;
  st.dayOfWeek = static_cast<std::uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  // The civil date in closed form (every level-0 and level-1 header of a scan comes here): days
  // are counted from 0000-03-01 of the proleptic Gregorian calendar, so that the leap day ends
  // each year, in 400-year eras of 146,097 days.
  const std::int64_t fromMarch = days + 584694;  // 1601-01-01 is day 584,694 from 0000-03-01
  const std::int64_t era = fromMarch / 146097;
  const std::int64_t dayOfEra = fromMarch - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  days = dayOfYear - (153 * monthFromMarch + 2) / 5;
  const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const int year = static_cast<int>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
  st.year = static_cast<std::uint16_t>(year);
  st.month = static_cast<std::uint16_t>(month);
  st.day = static_cast<std::uint16_t>(days + 1);
  st.hour = static_cast<std::uint16_t>(secondOfDay / 3600);
  st.minute = static_cast<std::uint16_t>(secondOfDay / 60 % 60);
  st.second = static_cast<std::uint16_t>(secondOfDay % 60);
  st.milliseconds = static_cast<std::uint16_t>(milliseconds % 1000);
  *out = st;
  return true;
}

std::int64_t LocalStandardTimeToUnix(const SystemTime& local) {
  // Standard time only: UTC = local + the zone's standard offset west of UTC, whatever
  // daylight-saving rule the zone has (the Win32 side uses the zone's standard bias).
  FileTime ft;
  SystemTime st = local;
  st.milliseconds = 0;
  if (!SystemTimeToFileTime(st, &ft)) return -1;
  // The zone is read once per process (tzset costs a file lookup); a test that changes TZ calls
  // tzset itself.
  static const bool zoneRead = (tzset(), true);
  (void)zoneRead;
  std::int64_t seconds = (static_cast<std::int64_t>(ToU64(ft)) - UnixEpochTicks) / TicksPerSecond;
  return seconds + static_cast<std::int64_t>(timezone);
}

bool FormatDate(const SystemTime& time, std::uint32_t flags, char* out, std::size_t size) {
  (void)flags;
  int n = std::snprintf(out, size, "%04u/%02u/%02u", time.year, time.month, time.day);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

bool FormatTime(const SystemTime& time, std::uint32_t flags, char* out, std::size_t size) {
  constexpr std::uint32_t NoSeconds = 0x2;  // TIME_NOSECONDS
  int n = (flags & NoSeconds)
              ? std::snprintf(out, size, "%u:%02u", time.hour, time.minute)
              : std::snprintf(out, size, "%u:%02u:%02u", time.hour, time.minute, time.second);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

std::uint32_t CurrentThreadId() {
  // Asked on every archive lock: the kernel is asked once per thread (a thread's id never
  // changes while it runs).
  static thread_local const auto id = static_cast<std::uint32_t>(syscall(SYS_gettid));
  return id;
}

void YieldThread() { sched_yield(); }

}  // namespace platform
