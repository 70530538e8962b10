#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <limits>
#include <thread>

#include "platform/handles.h"
#include "platform/wait.h"

using namespace varnel;

namespace {

TEST(WaitDueTime, UnitsAndDoubleArithmetic) {
    const struct {
        std::int64_t amount;
        int unit;
        std::int64_t due;
    } cases[] = {
        {1000, 0, -10000000},       {10, 0, -100000},          {0, 0, 0},
        {-5, 0, 50000},             {2, 1, -20000000},         {1, 2, -600000000},
        {1, 3, -36000000000},       {3, 7, -210000},           {3, -1, 30000},
        {std::numeric_limits<std::int64_t>::max(), 3, std::numeric_limits<std::int64_t>::min()},
        {std::numeric_limits<std::int64_t>::min(), 3, std::numeric_limits<std::int64_t>::max()},
    };
    for (const auto& c : cases) EXPECT_EQ(WaitDueTime(c.amount, c.unit), c.due) << c.amount << " unit " << c.unit;
    EXPECT_EQ(UnitMultiplier(0), 1);
    EXPECT_EQ(UnitMultiplier(1), 1000);
    EXPECT_EQ(UnitMultiplier(2), 60000);
    EXPECT_EQ(UnitMultiplier(3), 3600000);
    EXPECT_EQ(UnitMultiplier(250), 250);
    EXPECT_EQ(WaitMilliseconds(-5, 0), 0);
    EXPECT_EQ(WaitMilliseconds(2, 1), 2000);
}

// A window of the test thread that counts what reaches it and whether the
// wait was still running then.
struct Recorder {
    static inline int posted = 0;
    static inline int sent = 0;
    static inline bool waiting = false;
    static inline bool handledWhileWaiting = false;

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP) {
            ++posted;
            handledWhileWaiting = waiting;
            return 0;
        }
        if (message == WM_APP + 1) {
            ++sent;
            handledWhileWaiting = waiting;
            return 77;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
};

class WaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Recorder::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VarnelWaitTest";
        RegisterClassW(&windowClass);
        window_ = CreateWindowW(L"VarnelWaitTest", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        Recorder::posted = Recorder::sent = 0;
        Recorder::waiting = Recorder::handledWhileWaiting = false;
        MSG drain;
        while (PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE)) {}
    }
    void TearDown() override {
        DestroyWindow(window_);
        MSG drain;
        while (PeekMessageW(&drain, nullptr, 0, 0, PM_REMOVE)) {}
    }
    void Wait(std::int64_t amount) {
        Recorder::waiting = true;
        EXPECT_TRUE(WaitPumpingMessages(amount));
        Recorder::waiting = false;
    }
    static bool QuitIsWaiting(WPARAM code) {
        MSG message;
        return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && message.message == WM_QUIT &&
               message.wParam == code;
    }
    HWND window_ = nullptr;
};

TEST_F(WaitTest, PostedMessagesAreDispatchedDuringTheWait) {
    std::thread poster([this] {
        Sleep(100);
        PostMessageW(window_, WM_APP, 0, 0);
    });
    Wait(600);
    poster.join();
    EXPECT_EQ(Recorder::posted, 1);
    EXPECT_TRUE(Recorder::handledWhileWaiting);
}

TEST_F(WaitTest, MessagesSentFromAnotherThreadAreAnsweredDuringTheWait) {
    LRESULT answer = 0;
    std::thread sender([this, &answer] {
        Sleep(100);
        answer = SendMessageW(window_, WM_APP + 1, 0, 0);
    });
    Wait(600);
    sender.join();
    EXPECT_EQ(answer, 77);
    EXPECT_EQ(Recorder::sent, 1);
    EXPECT_TRUE(Recorder::handledWhileWaiting);
}

// The wait for the extraction thread: messages flow until the handle is
// signalled, and a quit is left for the loop.
TEST_F(WaitTest, WaitingForAHandleDispatchesUntilItIsSignalled) {
    KernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        Sleep(100);
        SendMessageW(window_, WM_APP + 1, 0, 0);
        PostMessageW(window_, WM_APP, 0, 0);
        Sleep(100);
        SetEvent(done.Get());
    });
    Recorder::waiting = true;
    WaitPumpingMessagesFor(done.Get());
    Recorder::waiting = false;
    worker.join();
    EXPECT_EQ(WaitForSingleObject(done.Get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(Recorder::sent, 1);
    EXPECT_EQ(Recorder::posted, 1);
    EXPECT_TRUE(Recorder::handledWhileWaiting);

    // Already signalled: returns at once; a quit of this thread stays queued.
    PostQuitMessage(7);
    WaitPumpingMessagesFor(done.Get());
    EXPECT_TRUE(QuitIsWaiting(7));
}

TEST_F(WaitTest, QuitStaysInTheQueueAndTheWaitLastsItsLength) {
    PostMessageW(window_, WM_APP, 0, 0);
    PostQuitMessage(42);
    const ULONGLONG start = GetTickCount64();
    Wait(300);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_EQ(Recorder::posted, 1);  // what came before the quit is handled
    EXPECT_TRUE(QuitIsWaiting(42));
    EXPECT_GE(elapsed, 250u);  // the quit does not cut the wait short
}

TEST_F(WaitTest, QuitArrivingDuringTheWaitStaysInTheQueue) {
    const DWORD thread = GetCurrentThreadId();
    std::thread poster([thread] {
        Sleep(100);
        PostThreadMessageW(thread, WM_QUIT, 7, 0);
    });
    Wait(400);
    poster.join();
    EXPECT_TRUE(QuitIsWaiting(7));
}

TEST_F(WaitTest, ZeroAndNegativeAmountsReturnPromptly) {
    for (std::int64_t amount : {0LL, -1LL, -100000LL}) {
        const ULONGLONG start = GetTickCount64();
        Wait(amount);
        EXPECT_LT(GetTickCount64() - start, 3000u) << amount;
    }
}

TEST_F(WaitTest, NestedWaitFromADispatchedMessageRunsToItsEnd) {
    static bool innerDone = false;
    innerDone = false;
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_APP) {
            innerDone = WaitPumpingMessages(50);
            return 0;
        }
        return DefWindowProcW(w, m, wp, lp);
    }));
    PostMessageW(window_, WM_APP, 0, 0);
    Wait(200);
    EXPECT_TRUE(innerDone);
}

TEST_F(WaitTest, FallbackWithoutATimerStillPumpsAndEnds) {
    PostMessageW(window_, WM_APP, 0, 0);
    PostQuitMessage(5);
    Recorder::waiting = true;
    WaitPumpingMessagesUntil(GetTickCount64() + 200);
    Recorder::waiting = false;
    EXPECT_EQ(Recorder::posted, 1);
    EXPECT_TRUE(QuitIsWaiting(5));
    // A deadline in the past returns after one pass.
    PostMessageW(window_, WM_APP, 0, 0);
    WaitPumpingMessagesUntil(0);
    EXPECT_EQ(Recorder::posted, 2);
}

}  // namespace
