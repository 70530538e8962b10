// Memory exhaustion is never returned to a caller: the runtime error box
// names the size and the process ends.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "startup/program.h"
#include "startup/runtime_error.h"

namespace {

// Address space given back at the first failure, so the box and its text
// can still be made (the system's heaps grow into it as well as ours).
std::atomic<void*> gReserve = VirtualAlloc(nullptr, 8 << 20, MEM_RESERVE, PAGE_NOACCESS);
// The thread whose failure is being reported; only it touches gFailing.
std::atomic<DWORD> gReportingThread = 0;
int gFailing = 0;  // its failures being reported, one inside the other

// Counts a failure while it is reported (a test's handler may return by
// throwing, so the count is dropped again on the way out).
struct Reporting {
    Reporting() { ++gFailing; }
    ~Reporting() {
        if (--gFailing == 0) gReportingThread = 0;
    }
    Reporting(const Reporting&) = delete;
    Reporting& operator=(const Reporting&) = delete;
};

void* AllocateOrDie(std::size_t size) {
    if (size == 0) size = 1;
    if (void* block = std::malloc(size)) return block;
    DWORD reporting = 0;
    if (!gReportingThread.compare_exchange_strong(reporting, GetCurrentThreadId()) &&
        reporting != GetCurrentThreadId())
        for (;;) Sleep(INFINITE);  // another thread's report ends the process
    const Reporting reported;
    switch (gFailing) {
        case 1: break;
        case 2:
            // Making the first box ran out as well: a fixed text, nothing allocated.
            MessageBoxA(nullptr, "内存不足，程序无法继续运行。", "错误", MB_ICONERROR);
            varnel::EndProcess(-1);
        default:
            ExitProcess(static_cast<UINT>(-1));  // even the shutdown ran out
    }
    if (void* reserve = gReserve.exchange(nullptr)) VirtualFree(reserve, 0, MEM_RELEASE);
    char message[64];
    // Unsigned and whole: a request above 2 GB must not read as a negative
    // size, nor one above 4 GB (x86_64) as its low 32 bits.
    std::snprintf(message, sizeof message, "分配 %llu 字节内存失败!", static_cast<unsigned long long>(size));
    varnel::RuntimeError(message, 0, 0, 0);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrDie(size); }
void* operator new[](std::size_t size) { return AllocateOrDie(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
