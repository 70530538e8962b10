// Unpacking beside the UI thread: the installation run keeps its window
// painting and answering while an item is written, and the next item is
// written during the pause after the last one.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "install/archive_reader.h"
#include "platform/handles.h"

namespace varnel {

// What became of one item.
struct ExtractedItem {
    ArchiveItemInfo info;  // index -1 when the item could not be looked up
    ArchiveResult result = ArchiveResult::kDone;
    DWORD systemError = 0;  // the reader's LastSystemError for this item
};

// Unpacks items of an open reader one at a time on a thread of its own. The
// reader belongs to that thread from Start until Finish returns. Without a
// thread (none could be made) Start unpacks the item itself.
//
// Giving up (the destructor, a Finish told to, or the process ending on any
// other thread) stops an item being written between two chunks: its partial
// file is removed and a file it was to replace stays as it was. Once given
// up, every later item is given up too.
class BackgroundExtraction {
public:
    explicit BackgroundExtraction(ArchiveReader& reader);
    ~BackgroundExtraction();
    BackgroundExtraction(const BackgroundExtraction&) = delete;
    BackgroundExtraction& operator=(const BackgroundExtraction&) = delete;

    // Begins item `index`: its information, then the item under its name.
    void Start(int index);
    // Waits for the item started last, dispatching the calling thread's
    // window messages meanwhile; 0x10000 when none was started. When
    // `giveUp` holds during the wait, the item is given up and Finish
    // returns once its file is gone.
    ExtractedItem Finish(const std::function<bool()>& giveUp = {});

private:
    static void GiveUpBeforeTheEnd(void* self);
    void Work();
    void ExtractOne();

    ArchiveReader& reader_;
    std::atomic<bool> stop_ = false;  // give up the item in hand and all later ones
    std::atomic<bool> quit_ = false;  // the worker leaves
    std::atomic<DWORD> workerId_ = 0;
    // doneSignal_ is set while no item is in hand.
    KernelHandle startSignal_, doneSignal_;
    // Handed over through the two signals, never touched by both at once.
    int index_ = -1;
    bool pending_ = false;  // started and not yet finished (the caller's thread only)
    ExtractedItem done_;
    std::thread thread_;
};

}  // namespace varnel
