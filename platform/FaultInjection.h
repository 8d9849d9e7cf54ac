// Countdown of injected I/O failures, shared by both platform implementations.
#pragma once

namespace platform::detail {

// True when this write (or read) is the one a test asked to fail; counts the call otherwise.
bool InjectWriteFailure();
bool InjectReadFailure();
bool InjectAllocFailure();
// True once StopWritesFrom's write was reached: every call that changes a file or a folder fails.
bool WritesStopped();

}  // namespace platform::detail
