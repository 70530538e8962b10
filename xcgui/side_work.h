// Work beside the caller's thread. Wine does some work once per process on
// first use: it connects the display driver, builds GDI+'s list of installed
// fonts and opens the font files. The library hands that, the measuring of a
// loaded layout's texts and the first frame of a window to a side thread, so
// they run while the caller reads its package and the window is being made.
#pragma once

#include <functional>

namespace xcgui {

// Queues a job for the side thread, starting the thread when none runs.
// Without a thread the job runs at once.
void RunBeside(std::function<void()> job);
// Waits until the side thread has done all its jobs and ended. The font
// cache calls this before its first use on any other thread: GDI+ in Wine
// builds its font list without a lock, so one thread at a time may be in it.
void FinishSideWork();

}  // namespace xcgui
