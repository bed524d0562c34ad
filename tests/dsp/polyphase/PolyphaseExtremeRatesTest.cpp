// Extreme but legal rate pairs: exact lengths, bounded memory, the single
// stage taking over from absurd cascades, and refusals that say why.

#include "dsp/polyphase/DesignedSearch.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "support/ResamplerDrive.hpp"
#include "support/Signals.hpp"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::ExactLength;

namespace {

// Feeds `input` in one piece and flushes, counting what comes out; keeps the
// samples around the middle of the output (at most 64).
struct Outcome {
    std::uint64_t count = 0;
    std::vector<int> middle;
};

Outcome Stream(PolyphaseResample& r, const std::vector<int>& input, std::uint64_t expected) {
    Outcome outcome;
    const std::uint64_t from = expected / 2 > 32 ? expected / 2 - 32 : 0;
    const auto keep = [&](const int* piece, unsigned written) {
        for (unsigned i = 0; i < written; ++i, ++outcome.count) {
            if (outcome.count >= from && outcome.middle.size() < 64) {
                outcome.middle.push_back(piece[i]);
            }
        }
    };
    testsupport::Drive(r, input, static_cast<unsigned>(input.size()), 65536, keep);
    return outcome;
}

} // namespace

TEST(PolyphaseExtremeRates, ExactLengthsWithBoundedMemory) {
    struct Case {
        int in_rate, out_rate;
        std::vector<std::size_t> lengths;
        // Its flush computes a latency of over 100 output seconds: 128M
        // samples at 768 kHz, or 318 blocks of 768000 input samples.
        bool long_flush;
    };
    const Case cases[] = {{1, 768000, {1}, true},
                          {768000, 1, {1, 300}, true},
                          {44100, 44101, {1, 7, 300}, false},
                          {768000, 7999, {1, 7, 300}, false},
                          {8000, 768000, {1, 7, 300}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in_rate << " -> " << c.out_rate);
        std::string reason;
        ASSERT_TRUE(ResamplePlan::Find(c.in_rate, c.out_rate, reason)) << reason;
        // Built together, as a file's channels are: they share one table.
        std::vector<std::unique_ptr<PolyphaseResample>> resamplers;
        for (std::size_t i = 0; i < c.lengths.size(); ++i) {
            resamplers.push_back(std::make_unique<PolyphaseResample>(c.in_rate, c.out_rate));
        }
        for (std::size_t i = 0; i < c.lengths.size(); ++i) {
            SCOPED_TRACE(c.lengths[i]);
            PolyphaseResample& r = *resamplers[i];
            EXPECT_LE(r.StateBytes(), ResamplePlan::max_state_bytes);
            const std::uint64_t expected =
                ExactLength(c.lengths[i], static_cast<std::uint64_t>(c.in_rate),
                            static_cast<std::uint64_t>(c.out_rate));
            EXPECT_EQ(r.Plan().OutputLength(c.lengths[i]), expected);
            const std::vector<int> input(c.lengths[i], 1 << 20);
#ifndef __OPTIMIZE__
            if (c.long_flush) {
                // A minute each without optimisation: only the count owed.
                std::vector<int> room(1 << 20);
                unsigned in_count = static_cast<unsigned>(input.size());
                unsigned out_count = static_cast<unsigned>(room.size());
                r.Process(input.data(), room.data(), in_count, out_count);
                ASSERT_EQ(in_count, input.size());
                EXPECT_EQ(r.Owed() + out_count, expected);
                continue;
            }
#endif
            EXPECT_EQ(Stream(r, input, expected).count, expected);
        }
    }
}

TEST(PolyphaseExtremeRates, StateBytesAreWhatThePlanPredicts) {
    const int pairs[][2] = {{44100, 48000}, {96000, 44100}, {44100, 44101}, {1, 768000}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        PolyphaseResample r(pair[0], pair[1]);
        const ResamplePlan& plan = r.Plan();
        std::size_t expected = plan.OutputBlockLength() * sizeof(double);
        std::size_t tables = 0;
        for (std::size_t i = 0; i < plan.Stages().size(); ++i) {
            const PolyphaseStage& stage = r.Stage(i);
            EXPECT_EQ(stage.Taps(), static_cast<int>(plan.Stages()[i].taps));
            // History, block and the zeros past it, in doubles.
            expected += (2 * std::size_t(stage.Taps()) + stage.BlockLength() + 8) * sizeof(double);
            tables += stage.Branches().Bytes();
        }
        EXPECT_EQ(r.StateBytes(), expected);
        EXPECT_EQ(plan.StateBytes(), expected);
        EXPECT_EQ(plan.TableBytes(), tables);
    }
}

TEST(PolyphaseExtremeRates, SingleStageReplacesAnAbsurdCascade) {
    // The cascade the planner picks for 44101/44100 passes through blocks of
    // hundreds of millions of samples; one stage of 20 taps per branch
    // needs two blocks of about 44100.
    PlannerRandom random(1);
    const DesignedSearch::Plan planned = DesignedSearch::PlanStages(44101, 44100, random);
    ASSERT_FALSE(planned.up.empty());
    EXPECT_GT(ResamplePlan(44101, 44100, planned.up, planned.down).StateBytes(),
              ResamplePlan::max_state_bytes);

    PolyphaseResample r(44100, 44101);
    ASSERT_EQ(r.Plan().Stages().size(), 1u);
    EXPECT_EQ(r.Plan().Stages()[0].up, 44101);
    EXPECT_EQ(r.Plan().Stages()[0].down, 44100);
    EXPECT_EQ(r.Stage(0).Taps(), 20);
    EXPECT_LT(r.StateBytes(), std::size_t(1) << 20);

    // And it still resamples: a DC level comes out as the same level.
    const std::vector<int> dc(3000, 1000 << 16);
    const Outcome outcome = Stream(r, dc, ExactLength(3000, 44100, 44101));
    ASSERT_EQ(outcome.middle.size(), 64u);
    for (const int v : outcome.middle) {
        EXPECT_NEAR(v, 1000 << 16, 1 << 16); // within 0.1 %
    }
}

TEST(PolyphaseExtremeRates, RefusesWhatNoPlanCanHoldAndSaysWhy) {
    std::string reason;
    EXPECT_TRUE(ResamplePlan::Find(44100, 48000, reason));
    EXPECT_TRUE(ResamplePlan::Find(44100, 44100, reason));
    EXPECT_TRUE(reason.empty());
    EXPECT_FALSE(ResamplePlan::Find(0, 44100, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_THROW(PolyphaseResample(44100, -1), std::invalid_argument);

    // Coprime rates near the top of int: blocks of 2^31 samples.
    const int pairs[][2] = {{2147483646, 2147483647}, {2147483647, 1}, {1, 2147483647}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        reason.clear();
        EXPECT_FALSE(ResamplePlan::Find(pair[0], pair[1], reason));
        EXPECT_NE(reason.find(std::to_string(pair[0]) + " Hz"), std::string::npos) << reason;
        EXPECT_NE(reason.find(std::to_string(pair[1]) + " Hz"), std::string::npos) << reason;
        EXPECT_NE(reason.find("MiB"), std::string::npos) << reason;
        try {
            PolyphaseResample r(pair[0], pair[1]);
            ADD_FAILURE() << "built";
        } catch (const std::length_error& error) {
            EXPECT_EQ(reason, error.what());
        }
    }
}
