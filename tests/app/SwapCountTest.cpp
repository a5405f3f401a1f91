// The frame counter preloaded into the program by the soak, the benchmarks and the
// hardening scenarios: they poll its file while the program rewrites it.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

using WriteCount = int (*)(const char*, unsigned long, long long, long long);

// One line of three numbers, the count first.
bool wholeLine(const std::string& path, unsigned long& swaps) {
    std::ifstream in(path);
    long long first = 0;
    long long last = 0;
    std::string rest;
    return static_cast<bool>(in >> swaps >> first >> last) && !(in >> rest) && first == 1 && last == 2;
}

}  // namespace

// A reader that saw an emptied file once took the count for unchanged and reported
// the window stalled while it was drawing.
TEST(SwapCounter, AReaderAlwaysSeesAWholeLineThatNeverGoesBack) {
    void* counter = dlopen(CHIPDISK_SWAPCOUNT_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(counter, nullptr) << dlerror();
    auto write = reinterpret_cast<WriteCount>(dlsym(counter, "swapcountWrite"));
    ASSERT_NE(write, nullptr);
    const std::string path = testing::TempDir() + "swapcount-" + std::to_string(getpid());
    ASSERT_EQ(write(path.c_str(), 1, 1, 2), 0);

    const unsigned long writes = 5000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (unsigned long n = 2; n <= writes; n++) write(path.c_str(), n, 1, 2);
        done = true;
    });
    int reads = 0;
    int bad = 0;  // torn, or gone back
    unsigned long seen = 0;
    for (; !done; reads++) {
        unsigned long swaps = 0;
        bad += !wholeLine(path, swaps) || swaps < seen;
        seen = std::max(seen, swaps);
    }
    writer.join();
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 100);  // the reads raced the writes
    unsigned long final = 0;
    EXPECT_TRUE(wholeLine(path, final));
    EXPECT_EQ(final, writes);
    std::remove(path.c_str());
    dlclose(counter);
}
