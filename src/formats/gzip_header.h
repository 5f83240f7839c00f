// gzip member headers (RFC 1952, 2.3): writing one from OrvfGzipHeader
// fields, and reading one byte by byte as it arrives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orvdc_formats.h"

namespace orvf {

inline constexpr std::uint8_t kGzipText = 1, kGzipHeaderCrc = 2, kGzipExtra = 4, kGzipName = 8,
                              kGzipComment = 16;

// Bytes the header of these fields takes.
std::size_t gzipHeaderSize(const OrvfGzipHeader& h);

// Writes the header to out (gzipHeaderSize bytes); xfl is the compression
// hint byte (2: best, 4: fastest).
void writeGzipHeader(const OrvfGzipHeader& h, std::uint8_t xfl, std::uint8_t* out);

// Reads a header as its bytes arrive.  feed() returns orvStsSrcEnd while the
// header is incomplete (all given bytes consumed), orvStsOk once it is
// complete (the source then stands on the first byte after it), or an error.
class GzipHeaderReader {
public:
    void reset();
    orvStatus feed(const std::uint8_t** ppSrc, std::size_t* pSrcLen);
    // The fields read; texts cut to 255 bytes.
    void fields(OrvfGzipHeader* h) const;

private:
    enum Step : std::uint8_t { kFixed, kExtraLen, kExtra, kName, kComment, kHcrc, kDone };
    std::uint8_t fixed_[10];
    std::uint8_t step_, flags_;
    std::uint32_t have_, extraLen_, crc_;
    char name_[256], comment_[256];
    std::uint32_t nameLen_, commentLen_;
    std::uint8_t hcrc_[2];
};

}  // namespace orvf
