// A failed open's reason is read from the thread's last error after the channel layer has
// taken its locks: many threads asking the layer at once must each keep their own error.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "port/channel.h"
#include "support/owned_handles.h"

namespace {

TEST(LastError, ChannelAndHandleQueriesKeepEachThreadsLastError) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    std::atomic<int> changed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &changed] {
            const DWORD mine = 1000 + t;
            for (int i = 0; i < kRounds; ++i) {
                SetLastError(mine);
                kestrune::IsChannelOpen(32000 + t);
                kestrune::ChannelOfNativeHandle(reinterpret_cast<HANDLE>(0x4000));
                kestrune::IsOwnedHandle(reinterpret_cast<HANDLE>(0x4000));
                if (GetLastError() != mine) ++changed;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(changed.load(), 0);
}

}  // namespace
