// The steep cascade's stage edges and the search for its cheapest plan.

#include "dsp/polyphase/SteepSearch.hpp"

#include "dsp/polyphase/FilterDesign.hpp"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Role = steep_filter::Role;

bool Anything(std::int64_t, int, int, const steep_filter::Stage&) {
    return true;
}

std::vector<std::int64_t> Divisors(std::int64_t n) {
    std::vector<std::int64_t> d;
    for (std::int64_t i = 1; i <= n; ++i) {
        if (n % i == 0) {
            d.push_back(i);
        }
    }
    return d;
}

struct Best {
    double cost = -1.0;
    std::size_t count = 0; // cascades tried
};

// Every ordered split of L and M into stage factors, at most `depth`
// stages, with every choice of the steep stage, costed by SteepCost.
void Enumerate(std::int64_t l, std::int64_t m, std::int64_t l_left, std::int64_t m_left,
               std::vector<int>& up, std::vector<int>& down, std::size_t depth, Best& best) {
    if (l_left == 1 && m_left == 1) {
        for (std::size_t k = 0; k < up.size(); ++k) {
            const double cost = SteepSearch::Cost(up, down, l, m, k);
            ++best.count;
            if (cost > 0 && (best.cost < 0 || cost < best.cost)) {
                best.cost = cost;
            }
        }
        return;
    }
    if (up.size() == depth) {
        return;
    }
    for (const std::int64_t a : Divisors(l_left)) {
        for (const std::int64_t b : Divisors(m_left)) {
            if (a == 1 && b == 1) {
                continue;
            }
            up.push_back(static_cast<int>(a));
            down.push_back(static_cast<int>(b));
            Enumerate(l, m, l_left / a, m_left / b, up, down, depth, best);
            up.pop_back();
            down.pop_back();
        }
    }
}

} // namespace

// 96 -> 44.1 kHz as 49/80 then 3/4, worked out in hertz: F = 22050, the
// pass edge 0.93 F = 20506.5. Stage 1 interpolates 96 kHz to 4.704 MHz and
// leaves 58.8 kHz, so it stops at 58800 - 22050 = 36750 Hz; stage 2, the
// steep one, runs at 176.4 kHz and stops at 22050 Hz.
TEST(SteepSearch, StageEdgesInHertz) {
    // Units of input rate / M = 300 Hz: rates 320, then 196; F = 73.5.
    const double nyquist = 73.5;
    const auto first = steep_filter::StageFilter(320, 49, 80, nyquist, Role::Before);
    EXPECT_NEAR(first.stop, 36750.0 / 4704000.0, 1e-15);
    EXPECT_NEAR(first.pass, 20506.5 / 4704000.0, 1e-15);
    EXPECT_NEAR(first.cutoff, (36750.0 + 20506.5) / 4704000.0, 1e-7);
    EXPECT_EQ(first.length % 98, 0);
    const auto second = steep_filter::StageFilter(196, 3, 4, nyquist, Role::Steep);
    EXPECT_NEAR(second.stop, 22050.0 / 176400.0, 1e-15);
    EXPECT_NEAR(second.pass, 20506.5 / 176400.0, 1e-15);

    // After the steep stage the first images sit at the input rate less F:
    // 44.1 kHz -> 58.8 kHz (4/3, steep) -> 96 kHz (80/49) stops the second
    // stage at 58800 - 22050 = 36750 Hz of 4.704 MHz.
    const auto after = steep_filter::StageFilter(196, 80, 49, nyquist, Role::After);
    EXPECT_NEAR(after.stop, 36750.0 / 4704000.0, 1e-15);
    // Never beyond half the interpolated rate: 1 -> 2 (2/1, before a steep
    // stage) would stop at 2 - 0.5 but is held at 1.
    const auto capped = steep_filter::StageFilter(1, 2, 1, 0.5, Role::Before);
    EXPECT_DOUBLE_EQ(capped.stop, 0.5);
}

TEST(SteepSearch, FindsTheCheapestCascadeThatAnExhaustiveListFinds) {
    // Small ratios against every cascade of any number of stages, where the
    // costs agree; common ratios against cascades of up to three stages, where
    // none may be cheaper.
    struct Case {
        std::int64_t up, down;
        std::size_t stages;
    };
    const Case cases[] = {{2, 1, 64},  {1, 2, 64},    {3, 2, 64},    {4, 9, 64},    {12, 5, 64},
                          {8, 15, 64}, {160, 147, 3}, {147, 160, 3}, {147, 320, 3}, {320, 147, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.up << "/" << c.down);
        const auto plan = SteepSearch::PlanStages(c.up, c.down, Anything);
        ASSERT_FALSE(plan.up.empty());
        Best best;
        std::vector<int> up, down;
        Enumerate(c.up, c.down, c.up, c.down, up, down, c.stages, best);
        if (c.stages == 64) {
            EXPECT_DOUBLE_EQ(plan.cost, best.cost) << best.count << " cascades";
        } else {
            EXPECT_LE(plan.cost, best.cost);
        }
        EXPECT_DOUBLE_EQ(SteepSearch::Cost(plan.up, plan.down, c.up, c.down, plan.steep),
                         plan.cost);
    }
}

TEST(SteepSearch, KeepsTheRateAboveTheLowerOfLAndM) {
    const std::int64_t ratios[][2] = {{160, 147}, {147, 320}, {7999, 768000}, {768000, 1}};
    for (const auto& ratio : ratios) {
        SCOPED_TRACE(testing::Message() << ratio[0] << "/" << ratio[1]);
        const auto plan = SteepSearch::PlanStages(ratio[0], ratio[1], Anything);
        ASSERT_FALSE(plan.up.empty());
        ASSERT_LT(plan.steep, plan.up.size());
        std::int64_t rate = ratio[1];
        std::int64_t l = 1;
        std::int64_t m = 1;
        for (std::size_t i = 0; i < plan.up.size(); ++i) {
            rate = rate * plan.up[i] / plan.down[i];
            EXPECT_GE(rate, std::min(ratio[0], ratio[1])) << i;
            l *= plan.up[i];
            m *= plan.down[i];
        }
        EXPECT_EQ(l, ratio[0]);
        EXPECT_EQ(m, ratio[1]);
    }
    // A stage that takes the rate below min(L, M) is refused by the cost too.
    EXPECT_LT(SteepSearch::Cost({20, 8}, {21, 7}, 160, 147, 1), 0.0);
    EXPECT_LT(SteepSearch::Cost({160}, {147}, 160, 147, 1), 0.0); // no steep stage
}

TEST(SteepSearch, DrawsNothingAndRepeats) {
    std::srand(11);
    const int undisturbed = std::rand();
    std::srand(11);
    const auto first = SteepSearch::PlanStages(160, 147, Anything);
    EXPECT_EQ(std::rand(), undisturbed);
    std::srand(12345);
    const auto second = SteepSearch::PlanStages(160, 147, Anything);
    EXPECT_EQ(first.up, second.up);
    EXPECT_EQ(first.down, second.down);
    EXPECT_EQ(first.steep, second.steep);
}

TEST(SteepSearch, UsesOnlyStagesItIsAllowed) {
    std::size_t asked = 0;
    const SteepSearch::StageCheck small = [&asked](std::int64_t, int up, int down,
                                                   const steep_filter::Stage&) {
        ++asked;
        return up <= 8 && down <= 8;
    };
    const auto plan = SteepSearch::PlanStages(160, 147, small);
    EXPECT_GT(asked, 0u);
    // 160/147 = 2^5 * 5 / (3 * 7^2) splits into such stages, though not
    // into its cheapest cascade, 8/7 then 20/21.
    ASSERT_FALSE(plan.up.empty());
    for (std::size_t i = 0; i < plan.up.size(); ++i) {
        EXPECT_LE(plan.up[i], 8);
        EXPECT_LE(plan.down[i], 8);
    }
    const auto none = SteepSearch::PlanStages(
        160, 147, [](std::int64_t, int, int, const steep_filter::Stage&) { return false; });
    EXPECT_TRUE(none.up.empty());
    EXPECT_EQ(none.cost, 0.0);
}
