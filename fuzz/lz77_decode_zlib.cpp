// Differential harness: arbitrary input decoded by this library (one-pass and
// pair paths) and by zlib's inflate.  When both reach the end of the stream
// they produce the same bytes; when zlib reaches it, so does the library.
// When the library reaches the end and zlib does not, zlib must have refused
// a code the library accepts by design: a single-symbol code longer than one
// bit, or HLIT/HDIST counts past 286/30 whose extra symbols go unused.
//
// The harnesses link only the library, so zlib is loaded at run time; without
// it the harness does nothing.
#include <dlfcn.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <string>

#include "lz77_decode_fuzz_support.h"

namespace {

struct Zlib {
    int (*init2)(z_streamp, int, const char*, int) = nullptr;
    int (*inflate)(z_streamp, int) = nullptr;
    int (*end)(z_streamp) = nullptr;
};

const Zlib& zlib() {
    static const Zlib z = [] {
        Zlib r;
        void* h = dlopen("libz.so.1", RTLD_NOW);
        if (h == nullptr) return r;
        r.init2 = reinterpret_cast<int (*)(z_streamp, int, const char*, int)>(dlsym(h, "inflateInit2_"));
        r.inflate = reinterpret_cast<int (*)(z_streamp, int)>(dlsym(h, "inflate"));
        r.end = reinterpret_cast<int (*)(z_streamp)>(dlsym(h, "inflateEnd"));
        return r;
    }();
    return z;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Zlib& zl = zlib();
    if (zl.init2 == nullptr || zl.inflate == nullptr || zl.end == nullptr) return 0;
    // The input and four zero bytes (right before an inaccessible page) for
    // zlib.  Where zlib reaches the end, the library gets what zlib used and
    // one byte more: closing a stored final block takes one more byte of
    // source (which it does not use) even when the block's bytes end there.
    static orvdc::fuzz::PageEnd srcMem;
    std::uint8_t* in = srcMem.end(size + 5);
    if (size != 0) std::memcpy(in, data, size);
    std::memset(in + size, 0, 5);
    // zlib's output buffer is kept across runs; the library stops at 1 MiB
    // of output, and so does the comparison.
    constexpr std::size_t kMaxOut = 1u << 20;
    static std::unique_ptr<std::uint8_t[]> zbuf(new std::uint8_t[kMaxOut + 1]);
    z_stream z{};
    if (zl.init2(&z, -15, ZLIB_VERSION, static_cast<int>(sizeof z)) != Z_OK) return 0;
    z.next_in = in;
    z.avail_in = static_cast<uInt>(size + 4);
    z.next_out = zbuf.get();
    z.avail_out = static_cast<uInt>(kMaxOut + 1);
    const int rc = zl.inflate(&z, Z_FINISH);
    const bool zok = rc == Z_STREAM_END;
    const bool zlong = z.total_out > kMaxOut || (rc == Z_BUF_ERROR && z.avail_out == 0);
    const std::string zmsg = z.msg != nullptr ? z.msg : "";
    const std::vector<std::uint8_t> zout(zbuf.get(), zbuf.get() + std::min<std::size_t>(z.total_out, kMaxOut));
    const std::size_t zused = z.total_in;
    zl.end(&z);
    if (zlong) return 0;  // longer than the library's limit: nothing to compare
    const std::size_t libLen = zok ? zused + 1 : size + 4;
    std::uint8_t* const libIn = srcMem.end(libLen);  // moved up to end at the page again
    std::memmove(libIn, in, libLen);

    using orvdc::fuzz::DecodePath;
    for (DecodePath path : {DecodePath::OnePass, DecodePath::Pairs}) {
        const auto r = orvdc::fuzz::decodeAll(libIn, libLen, path, static_cast<std::uint32_t>(size), 1u << 20, 1u << 16);
        const bool ok = r.status == orvStsStreamEnd;
        if (zok && !ok) std::abort();
        if (ok && !zok && zmsg != "invalid literal/lengths set" && zmsg != "invalid distances set" &&
            zmsg != "too many length or distance symbols") {
            std::abort();
        }
        if (zok && ok && (r.out != zout || r.used != zused)) std::abort();
    }
    return 0;
}
