#include "install/background_extraction.h"

#include <system_error>
#include <utility>

#include "platform/wait.h"

namespace varnel {

BackgroundExtraction::BackgroundExtraction(ArchiveReader& reader)
    : reader_(reader),
      startSignal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      doneSignal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    reader_.StopWhen(&stop_);
    if (!startSignal_ || !doneSignal_) return;
    try {
        thread_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        // No thread to be had: items are unpacked on the caller's thread.
    }
}

BackgroundExtraction::~BackgroundExtraction() {
    stop_ = true;
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
    if (thread_.joinable()) SetEvent(startSignal_.Get());
    else ExtractOne();
}

ExtractedItem BackgroundExtraction::Finish() {
    if (!pending_) {  // nothing was started
        ExtractedItem none;
        none.result = ArchiveResult::kBadIndex;
        return none;
    }
    pending_ = false;
    if (thread_.joinable()) WaitPumpingMessagesFor(doneSignal_.Get());
    return std::exchange(done_, ExtractedItem{});
}

void BackgroundExtraction::Work() {
    for (;;) {
        WaitForSingleObject(startSignal_.Get(), INFINITE);
        if (stop_) return;
        ExtractOne();
        SetEvent(doneSignal_.Get());
    }
}

void BackgroundExtraction::ExtractOne() {
    ExtractedItem item;
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
