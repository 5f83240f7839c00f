// Names for the statuses of orvdc and of the format layer.
#include "orvdc_formats.h"

extern "C" ORVF_API const char* orvfStatusText(orvStatus status) {
    switch (status) {
        case orvStsOk: return "ok";
        case orvStsError: return "internal error";
        case orvStsBadStream: return "data error: invalid block type or call order";
        case orvStsBadArg: return "unsupported argument";
        case orvStsBadSize: return "data error or bad size: malformed code, length or distance";
        case orvStsNullPtr: return "null pointer";
        case orvStsNoMemory: return "out of memory";
        case orvStsBadContext: return "bad context";
        case orvStsBadCodeLength: return "bad code length table";
        case orvStsBadFreqTable: return "bad frequency table";
        case orvStsNoCode: return "symbol without a code";
        case orvStsCodeTooLong: return "code too long";
        case orvStsSrcEnd: return "more input needed";
        case orvStsDstFull: return "destination full";
        case orvStsStreamEnd: return "end of stream";
        case orvfStsBadMagic: return "not in the expected format";
        case orvfStsBadHeader: return "invalid header";
        case orvfStsBadChecksum: return "data error: checksum mismatch";
        case orvfStsBadLength: return "data error: length mismatch";
        case orvfStsTruncated: return "unexpected end of data (truncated)";
        case orvfStsTrailingData: return "trailing data after the end of the stream";
        case orvfStsBadData: return "data error: damaged compressed block";
        default: return "unknown status";
    }
}
