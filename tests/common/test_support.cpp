#include "common/test_support.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace orvdc::test {

Bytes randomBytes(std::size_t n, std::uint64_t seed) {
    Rng rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng.next() >> 56);
    return out;
}

Bytes textLikeBytes(std::size_t n, std::uint64_t seed) {
    static const char* const kWords[] = {
        "the ", "of ", "and ", "compression ", "stream ", "block ", "window ", "a ",
        "match ", "literal ", "Huffman ", "code ", "length ", "distance ", "table ", "\n",
        "to ", "in ", "is ", "that ", "with ", "byte ", "value ", "state ",
    };
    Rng rng(seed);
    Bytes out;
    out.reserve(n + 16);
    while (out.size() < n) {
        if (out.size() > 64 && rng.below(8) == 0) {
            // Repeat an earlier stretch, sometimes from far back.
            std::size_t len = 3 + rng.below(40);
            std::size_t dist = 1 + rng.below(static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), 40000)));
            std::size_t from = out.size() - dist;
            for (std::size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
        } else {
            const char* w = kWords[rng.below(sizeof kWords / sizeof kWords[0])];
            while (*w) out.push_back(static_cast<std::uint8_t>(*w++));
        }
    }
    out.resize(n);
    return out;
}

Bytes skewedBytes(std::size_t n, unsigned alphabet, std::uint64_t seed) {
    Rng rng(seed);
    Bytes out(n);
    for (auto& b : out) {
        unsigned v = 0;
        while (v + 1 < alphabet && rng.below(3) != 0) ++v;
        b = static_cast<std::uint8_t>(v);
    }
    return out;
}

Bytes runsBytes(std::size_t n, unsigned values, std::uint32_t maxRun, std::uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    while (out.size() < n) {
        const std::uint32_t len = rng.below(3) == 0 ? rng.below(maxRun) + 1 : rng.below(6) + 1;
        out.insert(out.end(), len, static_cast<std::uint8_t>(rng.below(values)));
    }
    out.resize(n);
    return out;
}

std::vector<Bytes> runLengthInputs(std::size_t n, std::size_t corpusPrefix) {
    std::vector<Bytes> inputs = {randomBytes(n, 1), skewedBytes(n, 3, 2), textLikeBytes(n, 3),
                                 runsBytes(n, 3, 700, 4), Bytes(1000, 0)};
    for (const auto& path : corpusFiles()) {
        Bytes file = readFile(path);
        file.resize(std::min(file.size(), corpusPrefix));
        inputs.push_back(file);
    }
    return inputs;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> corpusFiles() {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(ORVDC_CORPUS_DIR, ec)) {
        const auto name = entry.path().filename().string();
        if (!entry.is_regular_file() || name == "README.md" || name == "SHA256SUMS") continue;
        out.push_back(entry.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

Bytes corpusFile(const std::string& name) {
    return readFile(std::string(ORVDC_CORPUS_DIR) + "/" + name);
}

OffsetBuffer::OffsetBuffer(const Bytes& data, std::size_t offset)
    : storage_(data.size() + offset + 64), offset_(0), size_(data.size()) {
    auto base = reinterpret_cast<std::uintptr_t>(storage_.data());
    offset_ = ((64 - (base & 63)) & 63) + offset;
    std::copy(data.begin(), data.end(), storage_.begin() + static_cast<std::ptrdiff_t>(offset_));
}

std::uint8_t* CanaryRoom::prepare(std::size_t capacity) {
    if (capacity + kTail > buf_.size() || refill_) {
        buf_.assign(std::max(capacity + kTail, buf_.size()), 0);
        fill(0, buf_.size());
        refill_ = false;
    } else {
        fill(0, dirty_);
    }
    capacity_ = capacity;
    dirty_ = 0;
    return buf_.data();
}

void CanaryRoom::fill(std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) buf_[i] = canary(i);
}

::testing::AssertionResult CanaryRoom::untouchedFrom(std::size_t written) {
    if (written > capacity_) {
        refill_ = true;
        return ::testing::AssertionFailure() << "reported " << written << " bytes written into a room of "
                                             << capacity_;
    }
    dirty_ = written;
    const std::size_t windowEnd = std::min(capacity_, written + kWindow);
    const std::size_t end = capacity_ + kTail;
    for (std::size_t i = written; i < end; i = i + 1 == windowEnd ? capacity_ : i + 1) {
        if (buf_[i] != canary(i)) {
            refill_ = true;
            return ::testing::AssertionFailure() << "byte " << i << " changed, " << (i - written)
                                                 << " past the " << written << " bytes reported written (room "
                                                 << capacity_ << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CanaryRoom::untouchedPastClearedByte(const std::uint8_t* end) {
    const auto written = static_cast<std::size_t>(end - buf_.data());
    if (written < capacity_ && buf_[written] == 0) return untouchedFrom(written + 1);
    return untouchedFrom(written);
}

GuardedMemory::GuardedMemory(std::size_t capacity) : capacity_(capacity) {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize;
#else
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
    const std::size_t usable = (capacity + page - 1) / page * page;
    mapped_ = usable + page;
#ifdef _WIN32
    base_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    const bool guarded = base_ != nullptr && VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &old) != 0;
#else
    void* m = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = m == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(m);
    const bool guarded = base_ != nullptr && mprotect(base_ + usable, page, PROT_NONE) == 0;
#endif
    if (!guarded) std::abort();
    limit_ = base_ + usable;
}

GuardedMemory::~GuardedMemory() {
#ifdef _WIN32
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, mapped_);
#endif
}

std::uint8_t* GuardedMemory::place(const std::uint8_t* p, std::size_t n) {
    std::uint8_t* q = end(n);
    if (n != 0) std::memcpy(q, p, n);
    return q;
}

}  // namespace orvdc::test
