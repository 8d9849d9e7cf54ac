#include "archive/ParallelStager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "archive/StagingOutput.h"

namespace {

// Members a worker may run ahead of the one being filed.
constexpr std::size_t AheadPerWorker = 4;

struct Slot {
  std::unique_ptr<StagingOutput> output;
  bool folder = false;
  bool ready = false;
  bool prepared = false;
};

struct Shared {
  std::vector<StageRequest>& requests;
  std::vector<Slot> slots;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0;    // next request a worker takes
  std::size_t filed = 0;   // requests filed so far (the calling thread's position)
  std::size_t window = 0;  // how far past `filed` workers may take requests
  std::atomic<bool> cancelled{false};
  std::atomic<std::uint64_t> bytesRead{0};
};

// What the encoder reports per member: counted into the shared total; a cancel stops it.
struct WorkerProgress {
  Shared* shared;
  std::uint32_t lastOriginal = 0;
};

int OnEncoderProgress(void* context, std::uint32_t, std::uint32_t original) {
  auto* progress = static_cast<WorkerProgress*>(context);
  if (original != codec::NotCompressedProgress && original > progress->lastOriginal) {
    progress->shared->bytesRead += original - progress->lastOriginal;
    progress->lastOriginal = original;
  }
  return progress->shared->cancelled ? 1 : 0;
}

void Work(Shared& shared) {
  for (;;) {
    std::size_t index;
    {
      std::unique_lock<std::mutex> guard(shared.mutex);
      shared.changed.wait(guard, [&] {
        return shared.next >= shared.requests.size() || shared.cancelled ||
               shared.next < shared.filed + shared.window;
      });
      if (shared.next >= shared.requests.size() || shared.cancelled) return;
      index = shared.next++;
    }
    StageRequest& request = shared.requests[index];
    Slot& slot = shared.slots[index];
    slot.output.reset(new (std::nothrow) StagingOutput);
    WorkerProgress progress{&shared};
    if (!slot.output) {
      request.why = RewriteFailure::NoTempFile;
    } else {
      slot.prepared = PrepareStage(&request.entry, request.source.c_str(), *slot.output,
                                   &slot.folder, &OnEncoderProgress, &progress, &request.why);
    }
    std::lock_guard<std::mutex> guard(shared.mutex);
    slot.ready = true;
    shared.changed.notify_all();
  }
}

}  // namespace

unsigned StageThreadCount(unsigned wanted) {
  if (wanted == 0) wanted = std::thread::hardware_concurrency();
  return std::max(1u, std::min(wanted, MaxStageThreads));
}

std::uint32_t StageFiles(Archive& archive, std::vector<StageRequest>& requests, unsigned threads,
                         StageProgress progress, void* context) {
  threads = StageThreadCount(threads);
  Shared shared{requests};
  shared.slots.resize(requests.size());
  shared.window = std::size_t{threads} * AheadPerWorker;
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < threads && i < requests.size(); ++i) {
    try {
      workers.emplace_back(Work, std::ref(shared));
    } catch (...) {
      break;  // fewer workers than asked for; none at all is handled below
    }
  }
  std::uint32_t staged = 0;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    StageRequest& request = requests[i];
    Slot& slot = shared.slots[i];
    bool ready = false;
    while (!ready) {
      if (workers.empty()) {
        // No thread could be started: this thread compresses.
        WorkerProgress own{&shared};
        slot.output.reset(new (std::nothrow) StagingOutput);
        slot.prepared = slot.output && PrepareStage(&request.entry, request.source.c_str(),
                                                    *slot.output, &slot.folder,
                                                    &OnEncoderProgress, &own, &request.why);
        ready = true;
        break;
      }
      std::unique_lock<std::mutex> guard(shared.mutex);
      // A request no worker took before a cancel will never be ready.
      ready = shared.changed.wait_for(guard, std::chrono::milliseconds(50), [&] {
        return slot.ready || (shared.cancelled && i >= shared.next);
      });
      guard.unlock();
      if (progress && !shared.cancelled &&
          progress(context, shared.bytesRead.load(), static_cast<std::uint32_t>(i)) != 0) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.cancelled = true;
        shared.changed.notify_all();
      }
    }
    if (shared.cancelled && !slot.prepared) request.why = RewriteFailure::Cancelled;
    if (slot.prepared && !shared.cancelled) {
      request.staged = FilePrepared(archive, request.entry, slot.folder, *slot.output,
                                    &request.ticket, request.mustBeNew, &request.why);
      if (request.staged) ++staged;
    } else if (slot.prepared) {
      request.why = RewriteFailure::Cancelled;
    }
    slot.output.reset();
    std::lock_guard<std::mutex> guard(shared.mutex);
    shared.filed = i + 1;
    shared.changed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
  if (progress) progress(context, shared.bytesRead.load(), static_cast<std::uint32_t>(requests.size()));
  return staged;
}
