#include "platform/wait.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/handles.h"
#include "startup/external.h"

namespace varnel {

namespace {

// QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER |
// QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY
constexpr DWORD kWakeMask = 0xFF;

std::int64_t ClampToInt64(double value) {
    // The largest double below 2^63; beyond it the conversion is undefined.
    constexpr double kLimit = 9223372036854774784.0;
    if (std::isnan(value)) return 0;
    if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (value <= -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);  // truncates toward zero
}

enum class Pumped { kSignalled, kGivenUp, kWaitFailed };

// Dispatches messages until `handle` is signalled or `giveUp` holds.
Pumped PumpUntilSignalled(HANDLE handle, const std::function<bool()>& giveUp = {}) {
    // Asking giveUp may peek at the queue, and a message that came just
    // before no longer wakes the wait: with it, the wait also wakes now and then.
    const DWORD timeout = giveUp ? 50 : INFINITE;
    for (;;) {
        if (giveUp && giveUp()) return Pumped::kGivenUp;
        const DWORD result = ext::MsgWaitForMultipleObjects(1, &handle, FALSE, timeout, kWakeMask);
        if (result == WAIT_OBJECT_0) return Pumped::kSignalled;
        if (result == WAIT_FAILED) return Pumped::kWaitFailed;
        DispatchPendingMessages();
    }
}

}  // namespace

std::int64_t UnitMultiplier(int unit) {
    switch (unit) {
        case 0: return 1;
        case 1: return 1000;
        case 2: return 60000;
        case 3: return 3600000;
        default: return unit;
    }
}

std::int64_t WaitDueTime(std::int64_t amount, int unit) {
    double due = static_cast<double>(amount);
    due *= static_cast<double>(UnitMultiplier(unit));
    due *= -10000.0;
    return ClampToInt64(due);
}

std::int64_t WaitMilliseconds(std::int64_t amount, int unit) {
    const double ms = static_cast<double>(amount) * static_cast<double>(UnitMultiplier(unit));
    return ms > 0 ? ClampToInt64(ms) : 0;
}

void DispatchPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message != WM_QUIT) {
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) break;
        if (message.message == WM_QUIT) {
            // Reached only when the queue emptied in between: put it back.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void WaitPumpingMessagesUntil(std::uint64_t deadlineTick) {
    DispatchPendingMessages();
    for (;;) {
        const std::uint64_t now = GetTickCount64();
        if (now >= deadlineTick) return;
        const DWORD timeout = static_cast<DWORD>(std::min<std::uint64_t>(deadlineTick - now, INFINITE - 1));
        const DWORD result = ext::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout, kWakeMask);
        if (result == WAIT_FAILED) {
            // Nothing left to wait on that works: sleep out the rest.
            Sleep(timeout);
            continue;
        }
        if (result != WAIT_TIMEOUT) DispatchPendingMessages();
    }
}

bool WaitPumpingMessages(std::int64_t amount, int unit) {
    const std::uint64_t start = GetTickCount64();
    const std::uint64_t deadline = start + static_cast<std::uint64_t>(WaitMilliseconds(amount, unit));
    LARGE_INTEGER due;
    due.QuadPart = WaitDueTime(amount, unit);

    KernelHandle timer(ext::CreateWaitableTimerA(nullptr, FALSE, nullptr));
    if (!timer || !ext::SetWaitableTimer(timer.Get(), &due, 0, nullptr, nullptr, FALSE)) {
        WaitPumpingMessagesUntil(deadline);
        return true;
    }
    if (PumpUntilSignalled(timer.Get()) == Pumped::kWaitFailed) WaitPumpingMessagesUntil(deadline);
    return true;
}

bool WaitPumpingMessagesFor(void* handle, const std::function<bool()>& giveUp) {
    const Pumped pumped = PumpUntilSignalled(handle, giveUp);
    // No message wait to be had: the handle alone, without spinning.
    if (pumped == Pumped::kWaitFailed) WaitForSingleObject(handle, INFINITE);
    return pumped != Pumped::kGivenUp;
}

}  // namespace varnel
