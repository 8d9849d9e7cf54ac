#include "FaultInjection.h"

#include <atomic>
#include <cstdint>

#include "Platform.h"

namespace platform {
namespace {

// Test-only countdowns; 0 means off. Atomic so concurrent I/O elsewhere stays well-defined.
std::atomic<std::uint32_t> writeCountdown{0};
std::atomic<std::uint32_t> readCountdown{0};
std::atomic<std::uint32_t> allocCountdown{0};
std::atomic<std::uint32_t> stopCountdown{0};
std::atomic<bool> stopped{false};

bool CountDown(std::atomic<std::uint32_t>& counter) {
  std::uint32_t value = counter.load();
  while (value != 0) {
    if (counter.compare_exchange_weak(value, value - 1)) return value == 1;
  }
  return false;
}

}  // namespace

void FailNthWrite(std::uint32_t n) { writeCountdown = n; }
void FailNthRead(std::uint32_t n) { readCountdown = n; }
void FailNthAlloc(std::uint32_t n) { allocCountdown = n; }
void StopWritesFrom(std::uint32_t n) {
  stopped = false;
  stopCountdown = n;
}

namespace detail {
bool InjectWriteFailure() {
  if (stopped) return true;
  if (CountDown(stopCountdown)) {
    stopped = true;
    return true;
  }
  return CountDown(writeCountdown);
}
bool WritesStopped() { return stopped; }
bool InjectReadFailure() { return CountDown(readCountdown); }
bool InjectAllocFailure() { return CountDown(allocCountdown); }
}  // namespace detail

}  // namespace platform
