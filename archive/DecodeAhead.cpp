#include "archive/DecodeAhead.h"

#include "archive/Archive.h"
#include "archive/Header.h"
#include "archive/ParallelStager.h"

namespace {

// Members queued per worker: enough that none waits for the writer while it writes a small file.
constexpr std::size_t AheadPerWorker = 4;

// True when the member at `index` is still the one `expected` describes, as DecodeMemberAt checks
// it: under the whole-file lock, against a catalogue that matches the file and the header read
// again. A member decoded ahead is handed out only then, as if it had been decoded now.
bool StillThere(Archive& archive, std::uint32_t index, const ArchiveEntry& expected) {
  if (!archive.Lock(true)) return false;
  ArchiveEntry listed, onDisk;
  const bool same = archive.RescanUnlessCurrent() && archive.GetMember(index, &listed) &&
                    SameMember(listed, expected) &&
                    ReadHeader(archive.File(), expected.headerOffset, &onDisk) > 0 &&
                    SameMember(onDisk, expected);
  archive.Unlock();
  return same;
}

}  // namespace

DecodeAhead::DecodeAhead(Archive& archive, unsigned threads, std::uint32_t smallest)
    : archive_(archive), smallest_(smallest) {
  threads = StageThreadCount(threads);
  // A caller that holds the lock would keep every worker waiting for it while it waits for them.
  if (threads < 2 || archive.OwnedByCurrentThread()) return;
  window_ = std::size_t{threads} * AheadPerWorker;
  for (unsigned i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { Work(); });
    } catch (...) {
      break;  // fewer workers; the calling thread decodes what none took
    }
  }
  if (workers_.empty()) window_ = 0;
}

DecodeAhead::~DecodeAhead() {
  Clear();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void DecodeAhead::Queue(std::uint32_t index, const ArchiveEntry& expected) {
  if (workers_.empty() || expected.originalSize < smallest_) return;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    jobs_.emplace_back();
    jobs_.back().index = index;
    jobs_.back().expected = expected;
  }
  changed_.notify_all();
}

void DecodeAhead::ReadDone(void* context) {
  auto* self = static_cast<DecodeAhead*>(context);
  {
    std::lock_guard<std::mutex> guard(self->mutex_);
    ++self->readTurn_;
  }
  self->changed_.notify_all();
}

void DecodeAhead::Drop(Job& job) {
  if (job.block != platform::NoBlock) platform::FreeBlock(job.block);
  job.block = platform::NoBlock;
}

void DecodeAhead::Decode(Job& job, std::unique_lock<std::mutex>& guard) {
  job.state = Job::State::Decoding;
  heldBytes_ += job.expected.originalSize;
  ++busy_;
  // Members are claimed in archive order; each reads its packed data only after the one claimed
  // before it has read its own, so the file is read front to back.
  const std::uint64_t turn = claimed_++;
  changed_.wait(guard, [&] { return readTurn_ == turn; });
  guard.unlock();
  platform::MemoryBlock block = platform::NoBlock;
  ArchiveEntry member = job.expected;
  const int result =
      archive_.DecodeMemberAt(job.index, job.expected, &block, &member, &DecodeAhead::ReadDone, this);
  guard.lock();
  job.result = result;
  job.block = block;
  job.member = member;
  job.state = Job::State::Done;
  --busy_;
  changed_.notify_all();
}

void DecodeAhead::Work() {
  std::unique_lock<std::mutex> guard(mutex_);
  for (;;) {
    Job* next = nullptr;
    changed_.wait(guard, [&] {
      if (stopping_) return true;
      for (Job& job : jobs_) {
        if (job.state != Job::State::Waiting) continue;
        // The member the caller waits for is always decoded; others within the byte budget.
        if (&job == &jobs_.front() || heldBytes_ + job.expected.originalSize <= ByteBudget)
          next = &job;
        break;
      }
      return next != nullptr;
    });
    if (stopping_) return;
    Decode(*next, guard);
  }
}

int DecodeAhead::Take(std::uint32_t index, const ArchiveEntry& expected,
                      platform::MemoryBlock* block, ArchiveEntry* member) {
  std::unique_lock<std::mutex> guard(mutex_);
  for (;;) {
    while (!jobs_.empty() && jobs_.front().index != index) {
      Job& front = jobs_.front();
      if (front.state == Job::State::Decoding) {
        changed_.wait(guard);
        continue;
      }
      if (front.state == Job::State::Done) heldBytes_ -= front.expected.originalSize;
      Drop(front);
      jobs_.pop_front();
    }
    if (jobs_.empty()) break;
    Job& job = jobs_.front();
    if (job.state == Job::State::Waiting) Decode(job, guard);
    if (job.state != Job::State::Done) {
      changed_.wait(guard);
      continue;
    }
    int result = job.result;
    *block = job.block;
    if (member) *member = job.member;
    heldBytes_ -= job.expected.originalSize;
    jobs_.pop_front();
    changed_.notify_all();
    guard.unlock();
    if (result != Archive::DecodeChanged && !StillThere(archive_, index, expected)) {
      if (*block != platform::NoBlock) platform::FreeBlock(*block);
      *block = platform::NoBlock;
      result = Archive::DecodeChanged;
    }
    return result;
  }
  guard.unlock();
  return archive_.DecodeMemberAt(index, expected, block, member);
}

void DecodeAhead::Clear() {
  std::unique_lock<std::mutex> guard(mutex_);
  for (Job& job : jobs_) {
    if (job.state == Job::State::Waiting) job.state = Job::State::Dropped;
  }
  changed_.wait(guard, [&] { return busy_ == 0; });
  for (Job& job : jobs_) Drop(job);
  jobs_.clear();
  heldBytes_ = 0;
  changed_.notify_all();
}
