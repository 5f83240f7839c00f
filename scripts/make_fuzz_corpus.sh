#!/usr/bin/env bash
# Rebuilds the seed corpora in fuzz/corpus/<harness>/ from the test data
# generators below and slices of ../shared/corpus (when present): candidate
# inputs in each harness's own layout (mode bytes, then deflate, LZSS,
# run-length or block-sorted data, ...) go through the harness's merge, which
# keeps only inputs that add coverage.  Run it after adding a harness or
# changing an input layout; the result is committed.
#
# Usage: scripts/make_fuzz_corpus.sh [BUILD_DIR] [HARNESS...]
#   BUILD_DIR  fuzz build to use (default build-fuzz; configured and built
#              with clang when missing)
#   HARNESS    names without the fuzz_ prefix (default: every harness)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
shift || true

source scripts/fuzz_build.sh
orvdc_fuzz_build "$@"

candidates=$(mktemp -d)
trap 'rm -rf "$candidates"' EXIT
python3 - "$candidates" ../shared/corpus "${harnesses[@]}" <<'PY'
import bz2, gzip, os, random, struct, sys, zlib

out, corpus_dir, names = sys.argv[1], sys.argv[2], sys.argv[3:]
rng = random.Random(18)

def slices():
    """Pieces of the shared corpus (all kinds of data), or synthetic text."""
    files = []
    if os.path.isdir(corpus_dir):
        for f in sorted(os.listdir(corpus_dir)):
            if f in ("README.md", "SHA256SUMS"):
                continue
            with open(os.path.join(corpus_dir, f), "rb") as fh:
                files.append(fh.read())
    words = [b"the ", b"block ", b"stream ", b"of ", b"window ", b"\n", b"a ", b"match "]
    synth = b"".join(rng.choice(words) for _ in range(600))
    files.append(synth)
    files.append(bytes(rng.randrange(4) for _ in range(3000)))
    files.append(b"\0" * 700 + b"\xff" * 300 + bytes(range(256)) * 4)
    pieces = []
    for data in files:
        for size in (16, 100, 600):
            if len(data) > size:
                at = rng.randrange(len(data) - size)
                pieces.append(data[at:at + size])
    pieces.append(bytes(rng.randrange(256) for _ in range(300)))
    return pieces

def deflate(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    return c.compress(data) + c.flush()

def deflate_streams(pieces):
    res = []
    for i, p in enumerate(pieces):
        level = (0, 1, 6, 9)[i % 4]
        strategy = (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FIXED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE)[(i // 4) % 4]
        res.append(deflate(p, level, strategy))
    return res

def lzss(data):
    """Greedy LZSS token stream: 1+8 bits a literal, 0+15+8 bits a match."""
    bits, i, last = [], 0, {}
    def put(v, n):
        for k in range(n - 1, -1, -1):
            bits.append((v >> k) & 1)
    while i < len(data):
        key = data[i:i + 3]
        j = last.get(key)
        if len(key) == 3 and j is not None and 0 < i - j <= 32767:
            n = 3
            while n < 258 and i + n < len(data) and data[j + n] == data[i + n]:
                n += 1
            put(0, 1); put(i - j, 15); put(n - 3, 8)
            for k in range(i, i + n):
                last[data[k:k + 3]] = k
            i += n
        else:
            put(1, 1); put(data[i], 8)
            last[key] = i
            i += 1
    bits += [0] * (-len(bits) % 8)
    return bytes(int("".join(map(str, bits[k:k + 8])), 2) for k in range(0, len(bits), 8))

def bzip2_runs(data):
    """The bzip2 first stage: runs of 4 to 255 equal bytes become 4 + count."""
    res, i = bytearray(), 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 255 and data[j] == data[i]:
            j += 1
        n = j - i
        if n >= 4:
            res += bytes([data[i]]) * 4 + bytes([n - 4])
        else:
            res += data[i:j]
        i = j
    return bytes(res)

def byte_runs(data):
    """Byte run-length coding: a pair of equal bytes and a count of more."""
    res, i = bytearray(), 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 257 and data[j] == data[i]:
            j += 1
        n = j - i
        res += bytes([data[i]]) if n == 1 else bytes([data[i]]) * 2 + bytes([n - 2])
        i = j
    return bytes(res)

def bwt(data):
    n = len(data)
    rot = sorted(range(n), key=lambda k: data[k:] + data[:k])
    return rot.index(0), bytes(data[(k - 1) % n] for k in rot)

def mtf(data):
    lst, res = list(range(256)), bytearray()
    for b in data:
        r = lst.index(b)
        res.append(r)
        lst.pop(r)
        lst.insert(0, b)
    return bytes(res)

def zero_runs(data):
    """bzip2 zero-run symbols (16-bit little-endian) of MTF-like bytes."""
    res, i = [], 0
    while i < len(data):
        if data[i] == 0:
            j = i
            while j < len(data) and data[j] == 0:
                j += 1
            z = j - i + 1
            while z > 1:
                res.append(z & 1)
                z >>= 1
            i = j
        else:
            res.append(data[i] + 1)
            i += 1
    return b"".join(struct.pack("<H", s) for s in res)

def head():
    return bytes(rng.randrange(256) for _ in range(8))

pieces = slices()
small = [p for p in pieces if len(p) <= 600]
makers = {
    "lz77_decode_zlib": lambda: deflate_streams(pieces),
    "lz77_decode_paths": lambda: [head()[:2] + s for s in deflate_streams(pieces)],
    "lz77_decode_stored": lambda: [head()[:1] + deflate(p, 0) for p in pieces],
    "lz77_encode_roundtrip": lambda: [head()[:6] + p for p in pieces],
    "lzss_decode": lambda: [head()[:1] + lzss(p) for p in small],
    "lzss_roundtrip": lambda: [head()[:1] + p for p in pieces],
    "bzip2_run_length_decode": lambda: [head()[:1] + bzip2_runs(p) for p in pieces],
    "bzip2_run_length_encode": lambda: [head()[:2] + p for p in pieces],
    "bzip2_rle_decode": lambda: [head()[:1] + byte_runs(p) for p in pieces],
    "bzip2_zero_run_decode": lambda: [head()[:2] + zero_runs(mtf(bwt(p)[1])) for p in small],
    "bzip2_mtf_inverse": lambda: [head()[:1] + bytes(range(256)) + mtf(bwt(p)[1]) for p in small],
    "bwt_mtf_forward": lambda: [head()[:2] + bytes(range(256)) + p for p in pieces],
    "bzip2_dictionary_expand": lambda: [bytes(rng.choice((0, 0, 1, 5)) for _ in range(256)) + struct.pack("<h", rng.randrange(1, 40)) + mtf(p) for p in small],
    "bwt_inverse": lambda: [struct.pack("<i", bwt(p)[0] * 2) + bwt(p)[1] for p in small],
    "bwt_roundtrip": lambda: [head()[:1] + p for p in pieces],
    "bwt_shortcut": lambda: [head()[:1] + p for p in pieces],
    "git_decode": lambda: [bytes([rng.randrange(256), 1 | (rng.randrange(4) << 1)]) + p for p in pieces],
    "git_encode": lambda: [head()[:2] + bytes([rng.randrange(256)]) + p for p in pieces],
    "checksum_split": lambda: [head()[:1] + p for p in pieces],
    "huffman_roundtrip": lambda: [head()[:1] + p for p in pieces],
    "formats_inflate": lambda: [bytes([k % 3]) + head()[:2] + (deflate(p, 6), zlib.compress(p), gzip.compress(p, mtime=0))[k % 3]
                                for k, p in enumerate(small)],
    "formats_bzip2_decode": lambda: [head()[:2] + bz2.compress(p[:300]) for p in small],
}
for name in names:
    make = makers.get(name, lambda: [head() + p for p in pieces])
    d = os.path.join(out, name)
    os.makedirs(d, exist_ok=True)
    for k, data in enumerate(make()):
        with open(os.path.join(d, "seed%03d" % k), "wb") as fh:
            fh.write(data[:1024])
PY

for name in "${harnesses[@]}"; do
    exe="$build/fuzz/fuzz_$name"
    [ -x "$exe" ] || { echo "no harness $name"; exit 1; }
    dest="fuzz/corpus/$name"
    rm -rf "$dest"
    mkdir -p "$dest"
    # Only inputs that add coverage are kept, smallest first.
    "$exe" -merge=1 -max_len=1024 -rss_limit_mb=2048 "$dest" "$candidates/$name" >/dev/null 2>&1
    echo "$name: $(ls "$dest" | wc -l) seeds, $(du -sk "$dest" | cut -f1) KB"
done
