// The two forward move-to-front kernels (rank table and list) give the same
// output and leave equivalent states, for every input and several lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "bwt/mtf_inputs.h"
#include "bwt/mtf_internal.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::mtf::sampleInputs;

TEST(MoveToFront, BothForwardKernelsAgree) {
    for (const Bytes& in : sampleInputs()) {
        for (std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{31}, in.size()}) {
            n = std::min(n, in.size());
            Bytes ranks(256);
            std::iota(ranks.begin(), ranks.end(), 0);
            Bytes a(n), b(n);
            orvdc::mtf::forwardRanks(in.data(), a.data(), n, ranks.data());

            alignas(16) std::uint8_t list[256];
            std::iota(list, list + 256, 0);
            orvdc::mtf::forwardList(in.data(), b.data(), n, list);
            EXPECT_EQ(a, b);
            Bytes fromList(256);
            orvdc::mtf::listToRanks(list, fromList.data());
            EXPECT_EQ(ranks, fromList);
        }
    }
}

}  // namespace
