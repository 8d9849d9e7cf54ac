// l, t and x: reading an archive.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/Extract.h"
#include "archive/TimeConversion.h"
#include "cli/Commands.h"
#include "cli/NameCodec.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "platform/Platform.h"

namespace cli {
namespace {

// Local date and time in a fixed-width form, so the columns line up.
std::string DateText(std::uint32_t seconds) {
  platform::FileTime time, local;
  platform::SystemTime t;
  UnixToFileTime(seconds, &time);
  if (!platform::FileTimeToLocalFileTime(time, &local) || !platform::FileTimeToSystemTime(local, &t))
    return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

}  // namespace

int RunList(const Options& options) {
  Session session;
  if (!session.Open(options.archive, OpenFor::Reading)) return ExitUsage;
  std::uint32_t count = session.MemberCount();
  std::string out;
  out.reserve(std::size_t{count} * 96 + 256);
  out += "method    packed  original  ratio  crc   lv  date                 path\n";
  out += "------ --------- --------- ------ ----  --  -------------------  ----\n";
  std::uint64_t packed = 0, original = 0;
  char line[192];
  session.ForEachMember([&](const ArchiveEntry& e) {
    char ratio[16] = "     -";
    if (e.originalSize > 0)
      std::snprintf(ratio, sizeof ratio, "%5.1f%%",
                    static_cast<double>(static_cast<std::uint32_t>(e.packedSize)) * 100.0 /
                        e.originalSize);
    std::snprintf(line, sizeof line, "%-6.5s %9u %9u %s %04x  %2u  %-19s  ", e.method,
                  static_cast<std::uint32_t>(e.packedSize), e.originalSize, ratio, e.crc,
                  e.headerLevel, DateText(e.modifyTime).c_str());
    out += line;
    out += ShowPath(e);
    out += '\n';
    packed += static_cast<std::uint32_t>(e.packedSize);
    original += e.originalSize;
  });
  out += "------ --------- --------- ------\n";
  std::snprintf(line, sizeof line, "%-6s %9llu %9llu", "total", static_cast<unsigned long long>(packed),
                static_cast<unsigned long long>(original));
  out += line;
  if (original > 0) {
    std::snprintf(line, sizeof line, " %5.1f%%", static_cast<double>(packed) * 100.0 / original);
    out += line;
  }
  out += "  " + std::to_string(count) + (count == 1 ? " member\n" : " members\n");
  std::fwrite(out.data(), 1, out.size(), stdout);
  return ExitOk;
}

int RunTest(const Options& options) {
  Session session;
  if (!session.Open(options.archive, OpenFor::Reading)) return ExitUsage;
  std::uint64_t total = 0, done = 0;
  session.ForEachMember([&](const ArchiveEntry& e) { total += e.originalSize; });
  Progress progress(!options.quiet, total);
  int failed = 0;
  std::uint32_t count = 0;
  // Each member is read at its place, under the file lock, as the snapshot saw it; one that
  // another process changed meanwhile is read again from a new snapshot, never reported damaged.
  const bool read = VisitMembersOnce(
      session.archive(),
      [&](std::uint32_t index, const ArchiveEntry& e, std::uint32_t) {
        if (IsFolderMember(e)) return MemberVisit::Done;
        progress.Update(done, ShowPath(e));
        platform::MemoryBlock block = platform::NoBlock;
        const int result = session.archive().DecodeMemberAt(index, e, &block, nullptr);
        if (block != platform::NoBlock) platform::FreeBlock(block);
        if (result == Archive::DecodeChanged) return MemberVisit::Changed;
        if (result != 0) {
          progress.Clear();
          Error(ShowPath(e) + ": " +
                (result == 2 ? "out of memory"
                             : "cannot be decoded (unknown method, damaged data or CRC error)"));
          ++failed;
        }
        done += e.originalSize;
        return MemberVisit::Done;
      },
      LockAttempts, &count);
  progress.Clear();
  if (!read) {
    Error("cannot read " + options.archive + ": another program keeps changing it");
    return ExitUsage;
  }
  if (failed) {
    Error(std::to_string(failed) + " of " + std::to_string(count) + " members failed");
    return ExitMemberFailed;
  }
  if (!options.quiet) std::fprintf(stderr, "%u members ok\n", count);
  return ExitOk;
}

namespace {

struct ExtractContext {
  Progress* progress;
  std::uint64_t done = 0;
};

void ReportMember(void* context, const ArchiveEntry& entry, ExtractResult result, const char*) {
  auto* c = static_cast<ExtractContext*>(context);
  c->done += entry.originalSize;
  c->progress->Update(c->done, ShowPath(entry));
  const char* why = nullptr;
  switch (result) {
    case ExtractResult::Written:
    case ExtractResult::Stopped:
      return;
    case ExtractResult::Kept:
      c->progress->Clear();
      std::fprintf(stderr, "tnlzh: %s: exists, kept (use -f to replace)\n", ShowPath(entry).c_str());
      return;
    case ExtractResult::SameFileReplaced:
      c->progress->Clear();
      std::fprintf(stderr, "tnlzh: %s: replaced the file another member of this archive wrote\n",
                   ShowPath(entry).c_str());
      return;
    case ExtractResult::SameFileKept:
      why = "lands on the file another member of this archive wrote; kept (use -f to replace)";
      break;
    case ExtractResult::Refused: why = "refused: the path leaves the target folder"; break;
    case ExtractResult::LinkRefused:
      why = "refused: a link on the way would lead out of the target folder";
      break;
    case ExtractResult::Changed: why = "changed in the archive while it was read"; break;
    case ExtractResult::DecodeFailed:
      why = "cannot be decoded (unknown method, damaged data or CRC error)";
      break;
    case ExtractResult::WriteFailed: why = "cannot be written"; break;
  }
  c->progress->Clear();
  Error(ShowPath(entry) + ": " + why);
}

}  // namespace

int RunExtract(const Options& options) {
  Session session;
  if (!session.Open(options.archive, OpenFor::Reading)) return ExitUsage;
  std::string folder = options.folder.empty() ? "." : options.folder;
  if (platform::GetAttributes(folder.c_str()) == platform::InvalidAttributes)
    platform::MakeDirectory(folder.c_str());
  std::uint64_t total = 0;
  session.ForEachMember([&](const ArchiveEntry& e) { total += e.originalSize; });
  Progress progress(!options.quiet, total);
  ExtractContext context{&progress, 0};
  ExtractOptions extract;
  if (options.force) extract.state = OverwriteState::ReplaceAll;
#ifndef _WIN32
  extract.convert = ConvertComponent;
#endif
  extract.report = ReportMember;
  extract.reportContext = &context;
  extract.changeAttempts = LockAttempts;
  extract.threads = options.threads;
  ExtractCounts counts;
  if (!ExtractEntries(session.archive(), folder.c_str(), extract, &counts)) {
    Error("cannot read " + options.archive);
    return ExitUsage;
  }
  progress.Clear();
  if (counts.failed) {
    Error(std::to_string(counts.failed) + " members failed");
    return ExitMemberFailed;
  }
  return ExitOk;
}

}  // namespace cli
