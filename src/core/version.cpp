#include "core/export.h"

namespace {
constexpr VersionRecord kVersion = {
    5, 1, 133, 181, {'t', '7', '\0', '\0'}, "orvdct7-5.1.dll", "5.1.1", "Jun 16 2006",
};
}  // namespace

extern "C" ORVDC_API const VersionRecord* ORVDC_CALL orvdcGetLibVersion(void) {
    return &kVersion;
}
