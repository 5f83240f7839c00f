// The streaming half of the format layer's decoder harnesses: the source fed
// in pieces of a fixed size with a fixed room per call, each piece and each
// room right before an inaccessible page, the counts and the canary after
// each call's output checked.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace orvdc::fuzz {

// run(&src, &srcLen, &dst, &dstLen, lastPiece) is one decoder call; goOn(status,
// pos) tells whether a call that neither filled its room nor failed is
// followed by another.  Stops once the output passes `limit`.  Returns the
// last status; the output is appended to `out`.
template <class Run, class GoOn>
orvStatus decodeInPieces(Run run, GoOn goOn, const std::uint8_t* src, std::size_t srcLen, std::size_t pieceIn,
                         std::size_t pieceOut, std::size_t limit, std::vector<std::uint8_t>& out) {
    static PageEnd pieceMem, roomMem;
    std::size_t pos = 0;
    orvStatus s = orvStsSrcEnd;
    for (int guard = 0; guard < 1000000; ++guard) {
        const std::size_t n = std::min(pieceIn, srcLen - pos);
        const std::uint8_t* p = pieceMem.place(src + pos, n);
        const std::uint8_t* q = p;
        std::size_t left = n;
        std::uint8_t* room = roomMem.end(pieceOut);
        fillCanary(room, pieceOut);
        std::uint8_t* d = room;
        std::size_t roomLen = pieceOut;
        s = run(&q, &left, &d, &roomLen, pos + n == srcLen);
        const auto wrote = static_cast<std::size_t>(d - room);
        if (wrote + roomLen != pieceOut || static_cast<std::size_t>(q - p) + left != n) std::abort();
        requireCanary(room, wrote, pieceOut);
        out.insert(out.end(), room, d);
        pos += static_cast<std::size_t>(q - p);
        if (out.size() > limit) break;  // beyond what the one call could hold
        if (s != orvStsDstFull && !goOn(s, pos)) break;
    }
    return s;
}

}  // namespace orvdc::fuzz
