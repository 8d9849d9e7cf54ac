// Decodes members ahead of the thread that writes them: members of an LZH archive are independent
// streams, so a pool of worker threads decodes the next few while the calling thread asks, writes
// and reports in archive order. Each worker reads a member's packed data under the archive lock,
// the members one after another in archive order (DecodeMemberAt: the member is checked against
// the file, so a member that changed is reported, never mixed), and decodes it outside it. At most a fixed number of members, and of decoded bytes,
// are in flight.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "platform/Platform.h"

class Archive;

class DecodeAhead {
 public:
  // Decoded bytes the workers may hold beyond the member the calling thread waits for.
  static constexpr std::uint64_t ByteBudget = 64u << 20;

  // `threads` workers (StageThreadCount applies; none when the calling thread holds the archive
  // lock, whose decoding then happens in Take, as without this class). Members of fewer than
  // `smallest` original bytes are not handed to a worker (Queue passes them over; Take decodes
  // them): where handing a member to another thread and back costs more than decoding it.
  DecodeAhead(Archive& archive, unsigned threads, std::uint32_t smallest = 0);
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // How many members may be queued ahead of the one the calling thread takes next (0: none,
  // Queue does nothing).
  std::size_t Window() const { return window_; }
  // Queues the member at place `index` of a snapshot, as `expected` describes it.
  void Queue(std::uint32_t index, const ArchiveEntry& expected);
  // The member at `index` as DecodeMemberAt gives it now (result, block handed to the caller,
  // record): one decoded ahead is DecodeChanged unless it is still where it was. Queued members
  // before it are dropped. One not queued is decoded here.
  int Take(std::uint32_t index, const ArchiveEntry& expected, platform::MemoryBlock* block,
           ArchiveEntry* member);
  // Drops every queued member (after a change of the archive), waiting for decodes under way.
  void Clear();

 private:
  struct Job {
    std::uint32_t index = 0;
    ArchiveEntry expected;
    enum class State { Waiting, Decoding, Done, Dropped } state = State::Waiting;
    int result = 0;
    platform::MemoryBlock block = platform::NoBlock;
    ArchiveEntry member;
  };

  void Work();
  // Decodes `job` (claimed by this thread, lock not held) and files the result.
  void Decode(Job& job, std::unique_lock<std::mutex>& guard);
  // Frees the result of a job nobody takes.
  static void Drop(Job& job);
  // DecodeMemberAt's signal that a job's read is over: the next claimed job may read.
  static void ReadDone(void* context);

  Archive& archive_;
  std::size_t window_ = 0;
  std::uint32_t smallest_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;     // in archive order; the front is the next the caller takes
  std::uint64_t heldBytes_ = 0;  // original sizes of jobs claimed and not yet taken
  std::size_t busy_ = 0;     // jobs being decoded
  std::uint64_t claimed_ = 0;   // jobs claimed so far, each given the next turn to read
  std::uint64_t readTurn_ = 0;  // the turn whose read may run now
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};
