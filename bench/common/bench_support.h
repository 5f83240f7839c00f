// Inputs shared by the benchmark programs: the corpus files when present and
// synthetic buffers of fixed sizes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace orvdc::bench {

using Bytes = std::vector<std::uint8_t>;

// (name, content) of each corpus file, sorted by name; empty without corpus.
inline std::vector<std::pair<std::string, Bytes>> corpus() {
    std::vector<std::pair<std::string, Bytes>> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(ORVDC_CORPUS_DIR, ec)) {
        const auto name = e.path().filename().string();
        if (!e.is_regular_file() || name == "README.md" || name == "SHA256SUMS") continue;
        std::ifstream in(e.path(), std::ios::binary);
        out.emplace_back(name, Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// n pseudo-random bytes (fixed seed).
inline Bytes randomBytes(std::size_t n) {
    Bytes out(n);
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    for (auto& b : out) {
        s ^= s >> 12; s ^= s << 25; s ^= s >> 27;
        b = static_cast<std::uint8_t>((s * 0x2545F4914F6CDD1Dull) >> 56);
    }
    return out;
}

// The reading of `clock` in seconds.
inline double secondsOn(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Seconds of processor time this thread has used: unlike the wall clock it
// does not count the time other programs on the machine take from it.
inline double threadSeconds() { return secondsOn(CLOCK_THREAD_CPUTIME_ID); }

// Seconds on the monotonic clock.  The alternating comparison below keeps
// best times, which shed the runs that other programs interrupted; it does
// not read the thread's processor time, which on a virtual machine now and
// then counts a whole run of tens of microseconds as zero (seen in about one
// run in ten thousand), a reading that a best time would then keep.
inline double steadySeconds() { return secondsOn(CLOCK_MONOTONIC); }

// Speed of `a` over that of `b` on the same work: the two run in turns, the
// order switching every round, until both have run `budget` seconds in all
// (and nine times at least), and the ratio of their best times is returned.
// Many short turns and best times keep the ratio steady on a shared machine,
// where a few long runs take in whatever else ran at that moment.
template <class A, class B>
double alternatingSpeedRatio(A&& a, B&& b, double budget = 1.0) {
    const auto timed = [](auto& f) {
        const double t0 = steadySeconds();
        f();
        return steadySeconds() - t0;
    };
    double bestA = 1e30, bestB = 1e30, spent = 0;
    for (int round = 0; round < 9 || (spent < 2 * budget && round < 100000); ++round) {
        double ta, tb;
        if (round & 1) {
            tb = timed(b);
            ta = timed(a);
        } else {
            ta = timed(a);
            tb = timed(b);
        }
        bestA = std::min(bestA, ta);
        bestB = std::min(bestB, tb);
        spent += ta + tb;
    }
    return bestB / bestA;
}

}  // namespace orvdc::bench
