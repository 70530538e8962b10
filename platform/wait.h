// A pause that keeps the thread's window messages flowing.
#pragma once

#include <cstdint>
#include <functional>

namespace varnel {

// Waits `amount` units (0 milliseconds, 1 seconds, 2 minutes, 3 hours, any
// other value is the multiplier in milliseconds itself), dispatching the
// thread's messages meanwhile. WM_QUIT is left in the queue. Always true.
bool WaitPumpingMessages(std::int64_t amount, int unit = 0);

// Waits until `handle` is signalled, dispatching the thread's messages
// meanwhile, as the timed wait does. WM_QUIT is left in the queue.
// With `giveUp`, it stops early once that holds (asked at the start, after
// every round of messages and at least every 50 ms). True when the handle
// was signalled.
bool WaitPumpingMessagesFor(void* handle, const std::function<bool()>& giveUp = {});

// Milliseconds per unit.
std::int64_t UnitMultiplier(int unit);

// The waitable timer's relative due time in 100 ns units (negative), formed
// in double precision; amounts too large for the timer are clamped.
std::int64_t WaitDueTime(std::int64_t amount, int unit);

// The length of the wait in milliseconds (0 for zero or negative amounts).
std::int64_t WaitMilliseconds(std::int64_t amount, int unit);

// Dispatches what is waiting in the thread's queue, stopping at WM_QUIT.
void DispatchPendingMessages();

// The wait without a kernel timer: time-outs of the message wait itself.
// Used when the timer cannot be made or its wait fails.
void WaitPumpingMessagesUntil(std::uint64_t deadlineTick);

}  // namespace varnel
