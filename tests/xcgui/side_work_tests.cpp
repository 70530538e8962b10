// The side thread: jobs run in order, away from the caller, and the font
// cache's measuring gives the same sizes whichever thread measured first.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "painter.h"
#include "side_work.h"

using namespace xcgui;

TEST(SideWork, JobsRunInOrderOnAnotherThreadAndFinishingWaitsForAll) {
    std::vector<int> done;
    std::vector<DWORD> threads;
    for (int i = 0; i < 3; ++i)
        RunBeside([&, i] {
            if (i == 0) Sleep(50);  // the others queue up behind it
            FinishSideWork();      // on the side thread itself: returns at once
            done.push_back(i);
            threads.push_back(GetCurrentThreadId());
        });
    FinishSideWork();
    EXPECT_EQ(done, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(threads.size(), 3u);
    EXPECT_NE(threads[0], GetCurrentThreadId());
    EXPECT_EQ(threads[1], threads[0]);
    EXPECT_EQ(threads[2], threads[0]);

    // Finished, it starts again on the next job; finishing twice is harmless.
    bool again = false;
    RunBeside([&] { again = true; });
    FinishSideWork();
    FinishSideWork();
    EXPECT_TRUE(again);
}

TEST(SideWork, TextsMeasuredBesideMatchTheOnesMeasuredHere) {
    ASSERT_TRUE(EnsureGdiplus());
    const FontSpec bold{L"微软雅黑", 14, true};
    const std::wstring text = L"快速安装 Setup";
    SetMeasureScale(1.5);
    const Size here = MeasureText(text, bold);
    EXPECT_GT(here.w, 0);
    ShutdownGdiplus();  // forgets the measured texts

    ASSERT_TRUE(EnsureGdiplus());
    RunBeside([&] { PrepareTexts({{text, bold}}, 1.5); });
    SetMeasureScale(1.5);  // waits for the side thread first
    EXPECT_EQ(MeasureText(text, bold), here);
    SetMeasureScale(1.0);
    EXPECT_NE(MeasureText(text, bold).w, here.w);  // hinted text: another scale is measured anew
    ShutdownGdiplus();
}
