// gzip member headers: writing and incremental reading.
#include "formats/gzip_header.h"

#include <algorithm>
#include <cstring>

#include "formats/formats_internal.h"

namespace orvf {

std::size_t gzipHeaderSize(const OrvfGzipHeader& h) {
    std::size_t n = 10;
    if (h.extra != nullptr && h.extraLen > 0) n += 2 + h.extraLen;
    if (h.name != nullptr) n += std::strlen(h.name) + 1;
    if (h.comment != nullptr) n += std::strlen(h.comment) + 1;
    if (h.headerCrc) n += 2;
    return n;
}

void writeGzipHeader(const OrvfGzipHeader& h, std::uint8_t xfl, std::uint8_t* out) {
    std::uint8_t* p = out;
    std::uint8_t flags = h.textHint ? kGzipText : 0;
    if (h.headerCrc) flags |= kGzipHeaderCrc;
    if (h.extra != nullptr && h.extraLen > 0) flags |= kGzipExtra;
    if (h.name != nullptr) flags |= kGzipName;
    if (h.comment != nullptr) flags |= kGzipComment;
    *p++ = 0x1F;
    *p++ = 0x8B;
    *p++ = 8;  // deflate
    *p++ = flags;
    putLE32(p, h.mtime);
    p += 4;
    *p++ = xfl;
    *p++ = h.os;
    if (flags & kGzipExtra) {
        *p++ = static_cast<std::uint8_t>(h.extraLen);
        *p++ = static_cast<std::uint8_t>(h.extraLen >> 8);
        std::memcpy(p, h.extra, h.extraLen);
        p += h.extraLen;
    }
    for (const char* text : {h.name, h.comment}) {
        if (text == nullptr) continue;
        const std::size_t n = std::strlen(text) + 1;
        std::memcpy(p, text, n);
        p += n;
    }
    if (flags & kGzipHeaderCrc) {
        const std::uint32_t crc = crc32Update(0, out, static_cast<std::size_t>(p - out));
        *p++ = static_cast<std::uint8_t>(crc);
        *p++ = static_cast<std::uint8_t>(crc >> 8);
    }
}

void GzipHeaderReader::reset() {
    step_ = kFixed;
    flags_ = 0;
    have_ = extraLen_ = crc_ = 0;
    nameLen_ = commentLen_ = 0;
    name_[0] = comment_[0] = '\0';
}

orvStatus GzipHeaderReader::feed(const std::uint8_t** ppSrc, std::size_t* pSrcLen) {
    const std::uint8_t* s = *ppSrc;
    const std::uint8_t* const end = s + *pSrcLen;
    orvStatus status = orvStsSrcEnd;
    while (s < end && step_ != kDone && status == orvStsSrcEnd) {
        if (step_ == kExtra) {
            // The extra field is skipped in bulk.
            const std::size_t n = std::min<std::size_t>(extraLen_ - have_, static_cast<std::size_t>(end - s));
            crc_ = crc32Update(crc_, s, n);
            s += n;
            have_ += static_cast<std::uint32_t>(n);
        } else {
            const std::uint8_t b = *s++;
            if (step_ != kHcrc) crc_ = crc32Update(crc_, &b, 1);
            switch (step_) {
                case kFixed:
                    fixed_[have_++] = b;
                    if ((have_ == 1 && b != 0x1F) || (have_ == 2 && b != 0x8B)) status = orvfStsBadMagic;
                    if ((have_ == 3 && b != 8) || (have_ == 4 && (b & 0xE0) != 0)) status = orvfStsBadHeader;
                    if (have_ == 10) {
                        flags_ = fixed_[3];
                        have_ = 0;
                        step_ = (flags_ & kGzipExtra) ? kExtraLen : kName;
                    }
                    break;
                case kExtraLen:
                    extraLen_ |= std::uint32_t{b} << (8 * have_);
                    if (++have_ == 2) {
                        have_ = 0;
                        step_ = kExtra;
                    }
                    break;
                case kName:
                case kComment: {
                    char* text = step_ == kName ? name_ : comment_;
                    std::uint32_t& len = step_ == kName ? nameLen_ : commentLen_;
                    if (b == 0) {
                        step_ = step_ == kName ? kComment : kHcrc;
                    } else if (len < 255) {
                        text[len++] = static_cast<char>(b);
                        text[len] = '\0';
                    }
                    break;
                }
                default:  // kHcrc
                    hcrc_[have_++] = b;
                    break;
            }
        }
        // Skip the steps whose fields are absent or complete.
        if (step_ == kExtra && have_ == extraLen_) {
            have_ = 0;
            step_ = kName;
        }
        if (step_ == kName && !(flags_ & kGzipName)) step_ = kComment;
        if (step_ == kComment && !(flags_ & kGzipComment)) step_ = kHcrc;
        if (step_ == kHcrc && (!(flags_ & kGzipHeaderCrc) || have_ == 2)) step_ = kDone;
    }
    if (status == orvStsSrcEnd && step_ == kDone) {
        const bool crcOk = !(flags_ & kGzipHeaderCrc) || static_cast<std::uint32_t>(hcrc_[0] | (hcrc_[1] << 8)) == (crc_ & 0xFFFF);
        status = crcOk ? orvStatus{orvStsOk} : orvStatus{orvfStsBadHeader};
    }
    *pSrcLen -= static_cast<std::size_t>(s - *ppSrc);
    *ppSrc = s;
    return status;
}

void GzipHeaderReader::fields(OrvfGzipHeader* h) const {
    h->mtime = getLE32(fixed_ + 4);
    h->os = fixed_[9];
    h->textHint = (flags_ & kGzipText) ? 1 : 0;
    h->headerCrc = (flags_ & kGzipHeaderCrc) ? 1 : 0;
    h->xfl = fixed_[8];
    h->name = name_;
    h->comment = comment_;
    h->extra = nullptr;
    h->extraLen = extraLen_;
}

}  // namespace orvf
