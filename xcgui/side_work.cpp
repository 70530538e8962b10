#include "side_work.h"

#include <windows.h>

#include <deque>
#include <mutex>

namespace xcgui {

namespace {

struct Side {
    std::mutex lock;
    std::deque<std::function<void()>> jobs;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    bool taking = false;  // the thread still takes jobs
};

Side& TheSide() {
    static Side side;
    return side;
}

DWORD WINAPI Work(void* module) {
    Side& side = TheSide();
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard hold(side.lock);
            if (side.jobs.empty()) {
                side.taking = false;
                break;
            }
            job = std::move(side.jobs.front());
            side.jobs.pop_front();
        }
        // Nothing may leave a thread procedure. The jobs only do ahead of
        // time what the caller's thread would do anyway, so a failed one
        // (memory running out) costs nothing but that time.
        try {
            job();
        } catch (...) {
        }
    }
    // The thread holds its own reference, so the library cannot be unloaded
    // under it.
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

void Join(Side& side) {
    WaitForSingleObject(side.thread, INFINITE);
    CloseHandle(side.thread);
    side.thread = nullptr;
    side.threadId = 0;
}

}  // namespace

void RunBeside(std::function<void()> job) {
    Side& side = TheSide();
    {
        std::lock_guard hold(side.lock);
        if (side.taking) {
            side.jobs.push_back(std::move(job));
            return;
        }
    }
    if (side.thread) Join(side);  // it has stopped taking jobs and is ending
    HMODULE self = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Work), &self)) {
        side.jobs.push_back(std::move(job));
        side.taking = true;
        side.thread = CreateThread(nullptr, 256 * 1024, Work, self, STACK_SIZE_PARAM_IS_A_RESERVATION, &side.threadId);
        if (side.thread) return;
        side.taking = false;
        job = std::move(side.jobs.back());
        side.jobs.clear();
        FreeLibrary(self);
    }
    job();
}

void FinishSideWork() {
    Side& side = TheSide();
    if (!side.thread || GetCurrentThreadId() == side.threadId) return;
    Join(side);
}

}  // namespace xcgui
