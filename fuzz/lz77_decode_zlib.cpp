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
    std::vector<std::uint8_t> in(data, data + size);
    in.insert(in.end(), 4, 0);  // a stored final block is closed by one more byte
    z_stream z{};
    if (zl.init2(&z, -15, ZLIB_VERSION, static_cast<int>(sizeof z)) != Z_OK) return 0;
    std::vector<std::uint8_t> zout(1u << 21);
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = zout.data();
    z.avail_out = static_cast<uInt>(zout.size());
    const int rc = zl.inflate(&z, Z_FINISH);
    const bool zok = rc == Z_STREAM_END;
    const std::string zmsg = z.msg != nullptr ? z.msg : "";
    zout.resize(z.total_out);
    const std::size_t zused = z.total_in;
    zl.end(&z);

    using orvdc::fuzz::DecodePath;
    for (DecodePath path : {DecodePath::OnePass, DecodePath::Pairs}) {
        const auto r = orvdc::fuzz::decodeAll(in.data(), in.size(), path, static_cast<std::uint32_t>(size), 1u << 20, 1u << 16);
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
