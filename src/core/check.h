// Argument checks shared by every exported entry point.
#pragma once

#include <cstdint>

namespace orvdc {

// True when any of the given pointers is null: the combined null test that
// every entry point runs first.
template <class... P>
constexpr bool anyNull(const P*... ptrs) {
    return ((ptrs == nullptr) || ...);
}

// True when any of the given lengths is below the given minimum.
template <class... L>
constexpr bool anyBelow(std::int32_t minimum, L... lengths) {
    return ((lengths < minimum) || ...);
}

}  // namespace orvdc
