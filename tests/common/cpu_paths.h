// Running code on each processor path in turn: the cached feature word is
// restricted to a path's features for the test, and the restriction is
// lifted after it.  For tests of the library's internals only.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "core/cpu_features.h"

namespace orvdc::test {

// Restricts the features to `features` when the processor has them all;
// false, with nothing changed, when it lacks one.
inline bool restrictToPath(std::uint32_t features) {
    if ((cpu::detectFeatures() & features) != features) return false;
    cpu::restrictFeaturesForTesting(features);
    return true;
}

// A fixture whose tests may restrict the features: every test ends with all
// of them again.
class CpuPathTest : public ::testing::Test {
protected:
    void TearDown() override { cpu::restrictFeaturesForTesting(~0u); }
};

}  // namespace orvdc::test
