// Branch tables are designed once per stage shape and shared.

#include "dsp/polyphase/PolyphaseBranchCache.hpp"

#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"

#include <gtest/gtest.h>
#include <vector>

TEST(PolyphaseBranchCache, HoldsTheDesignedFilterLaidOut) {
    const auto table = PolyphaseBranchCache::For(4, 3);
    ASSERT_TRUE(table);
    const auto shape = StageFilter(4, 3);
    std::vector<float> filter(static_cast<std::size_t>(shape.length));
    DesignFilter(filter.data(), shape.length, shape.cutoff);
    EXPECT_EQ(table->Coefficients(), filter);
    const PolyphaseBranches fresh(4, filter);
    ASSERT_EQ(table->RowStride(), fresh.RowStride());
    ASSERT_EQ(table->Phases(), fresh.Phases());
    const std::size_t size = 4 * fresh.Phases() * fresh.RowStride();
    EXPECT_EQ(std::vector<double>(table->Rows(), table->Rows() + size),
              std::vector<double>(fresh.Rows(), fresh.Rows() + size));

    EXPECT_EQ(PolyphaseBranchCache::For(4, 3), table);
    EXPECT_NE(PolyphaseBranchCache::For(3, 4), table); // another shape, another filter
}

TEST(PolyphaseBranchCache, ResamplersOfARatePairShareTheirTables) {
    PolyphaseResample first(44100, 48000);
    PolyphaseResample second(44100, 48000);
    ASSERT_EQ(&first.Plan(), &second.Plan());
    for (std::size_t i = 0; i < first.Plan().Stages().size(); ++i) {
        EXPECT_EQ(&first.Stage(i).Branches(), &second.Stage(i).Branches()) << i;
    }
}
