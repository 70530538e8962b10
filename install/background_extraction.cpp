#include "install/background_extraction.h"

#include <system_error>
#include <utility>

#include "platform/wait.h"
#include "startup/program.h"

namespace varnel {
namespace {

// How long the end of the process waits for an item to be given up: one
// chunk on a healthy disk takes milliseconds; a disk that hangs must not
// keep the process alive.
constexpr DWORD kGiveUpWait = 5000;

}  // namespace

BackgroundExtraction::BackgroundExtraction(ArchiveReader& reader)
    : reader_(reader),
      startSignal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      doneSignal_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
    reader_.StopWhen(&stop_);
    if (!startSignal_ || !doneSignal_) return;
    try {
        thread_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        // No thread to be had: items are unpacked on the caller's thread.
        return;
    }
    SetWorkInHand(GiveUpBeforeTheEnd, this);
}

BackgroundExtraction::~BackgroundExtraction() {
    ClearWorkInHand(this);
    stop_ = true;
    quit_ = true;
    if (thread_.joinable()) {
        SetEvent(startSignal_.Get());
        thread_.join();
    }
    reader_.StopWhen(nullptr);
}

void BackgroundExtraction::Start(int index) {
    if (pending_) Finish();  // one item at a time
    index_ = index;
    pending_ = true;
    if (thread_.joinable()) {
        ResetEvent(doneSignal_.Get());
        SetEvent(startSignal_.Get());
    } else {
        ExtractOne();
    }
}

ExtractedItem BackgroundExtraction::Finish(const std::function<bool()>& giveUp) {
    if (!pending_) {  // nothing was started
        ExtractedItem none;
        none.result = ArchiveResult::kBadIndex;
        return none;
    }
    pending_ = false;
    if (thread_.joinable() && !WaitPumpingMessagesFor(doneSignal_.Get(), giveUp)) {
        // The writer stops within a chunk; the window is gone, nothing to pump.
        stop_ = true;
        WaitForSingleObject(doneSignal_.Get(), INFINITE);
    }
    return std::exchange(done_, ExtractedItem{});
}

// The process ends on some thread: the item in hand is given up before that.
// On the worker itself (it failed) there is nothing to wait for: it holds no
// file while it can fail.
void BackgroundExtraction::GiveUpBeforeTheEnd(void* self) {
    auto& extraction = *static_cast<BackgroundExtraction*>(self);
    extraction.stop_ = true;
    // By thread id: asking the thread library may allocate, and memory may be what ran out.
    if (extraction.workerId_ == GetCurrentThreadId()) return;
    WaitForSingleObject(extraction.doneSignal_.Get(), kGiveUpWait);
}

void BackgroundExtraction::Work() {
    workerId_ = GetCurrentThreadId();
    for (;;) {
        WaitForSingleObject(startSignal_.Get(), INFINITE);
        if (quit_) return;
        ExtractOne();
        SetEvent(doneSignal_.Get());
    }
}

void BackgroundExtraction::ExtractOne() {
    ExtractedItem item;
    if (stop_) {
        item.result = ArchiveResult::kWriteFailed;
        item.systemError = ERROR_OPERATION_ABORTED;
        done_ = std::move(item);
        return;
    }
    try {
        item.info = reader_.GetItemInfo(index_);
        item.result = reader_.ExtractItem(index_, item.info.name);
        item.systemError = reader_.LastSystemError();
    } catch (...) {
        item.result = ArchiveResult::kCorrupt;  // nothing may leave the thread
    }
    done_ = std::move(item);
}

}  // namespace varnel
