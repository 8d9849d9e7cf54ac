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

namespace detail {
bool InjectWriteFailure() { return CountDown(writeCountdown); }
bool InjectReadFailure() { return CountDown(readCountdown); }
bool InjectAllocFailure() { return CountDown(allocCountdown); }
}  // namespace detail

}  // namespace platform
