#!/usr/bin/env python3
"""Markdown tables of the deflate benchmarks, as in the README.

Usage: deflate_tables.py DECODE.json ENCODE.json

The inputs are the JSON output of bench_lz77_decode and bench_lz77_encode run
with --benchmark_repetitions=3 --benchmark_format=json; every figure is the
median of the repetitions (the plain value when there is only one run).
"""
import json
import sys
from collections import defaultdict


def medians(path):
    """{benchmark name: {field: value}} from the median aggregates, or the runs."""
    runs, aggregates = defaultdict(dict), defaultdict(dict)
    with open(path) as f:
        benchmarks = json.load(f)["benchmarks"]
    for b in benchmarks:
        name = b.get("run_name", b["name"])
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                aggregates[name] = b
        else:
            runs[name] = b
    return {**runs, **aggregates}


def mbps(b):
    return f"{b['bytes_per_second'] / 1e6:.0f}" if b else "-"


def ratio(b, counter):
    return f"{b[counter]:.2f}" if b and counter in b else "-"


def files_of(table, prefix):
    return [n[len(prefix):] for n in table if n.startswith(prefix)]


def decode_table(d):
    rows = ["| file | one-pass | one-pass, 64 KiB calls | pairs | zlib | libdeflate "
            "| one-pass / libdeflate | 64 KiB / libdeflate | pairs / zlib |",
            "|---|---|---|---|---|---|---|---|---|"]
    for f in files_of(d, "onepass/"):
        one, k64, pairs = d.get("onepass/" + f), d.get("onepass64k/" + f), d.get("pairs/" + f)
        rows.append(f"| {f} | {mbps(one)} | {mbps(k64)} | {mbps(pairs)} | {mbps(d.get('zlib/' + f))} "
                    f"| {mbps(d.get('libdeflate/' + f))} | {ratio(one, 'vs_libdeflate')} "
                    f"| {ratio(k64, 'vs_libdeflate')} | {ratio(pairs, 'vs_zlib')} |")
    return "\n".join(rows)


def encode_table(e):
    coders = [("orvdc", 0), ("orvdc", 1), ("orvdc", 2), ("zlib", 1), ("zlib", 6), ("zlib", 9),
              ("libdeflate", 1), ("libdeflate", 6), ("libdeflate", 9)]
    peers = [(0, "vs_libdeflate1"), (1, "vs_zlib1"), (2, "vs_zlib6")]
    head = ["file", "level 0", "level 1", "level 2", "zlib 1", "zlib 6", "zlib 9", "libdeflate 1",
            "libdeflate 6", "libdeflate 9", "0 / libdeflate 1", "1 / zlib 1", "2 / zlib 6"]
    rows = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for f in files_of(e, "orvdc/0/"):
        cells = [f]
        for name, level in coders:
            b = e.get(f"{name}/{level}/{f}")
            cells.append(f"{mbps(b)} / {b['ratio']:.2f}" if b else "-")
        cells += [ratio(e.get(f"orvdc/{level}/{f}"), counter) for level, counter in peers]
        rows.append("| " + " | ".join(cells) + " |")
    return "\n".join(rows)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    print("Decoding zlib level-6 streams (after the corpus rows: the whole corpus with zlib's "
          "Huffman-only strategy, literals only, and generated text of short repeated words, "
          "nearly all short matches), MB/s of output:\n")
    print(decode_table(medians(sys.argv[1])))
    print("\nEncoding, MB/s of input / compression ratio (input over output):\n")
    print(encode_table(medians(sys.argv[2])))


if __name__ == "__main__":
    main()
