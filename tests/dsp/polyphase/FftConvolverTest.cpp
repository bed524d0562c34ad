#include "dsp/polyphase/FftBranches.hpp"
#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "dsp/polyphase/PolyphaseStage.hpp"
#include "dsp/polyphase/ResamplePlan.hpp"

#include <cmath>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

struct Case {
    int up;
    int down;
    int taps;
    std::size_t block;
    std::size_t length; // 0: the one FftBranches::Choose picks
};

} // namespace

// Fast convolution gives the direct kernel's outputs: both store each sum
// rounded to float, and the sums differ far below that rounding (the
// transforms' error is about 1e-16 of the signal's scale), so an output is
// the same float or, near a rounding tie, its neighbour. Over several blocks,
// so that the history carried from block to block is checked too, with
// blocks cut into one part or several, uneven parts, and with up and down
// factors that skip branches or fold the transform back (up 1, down 2 or 3).
TEST(FftConvolver, GivesTheDirectKernelsOutputs) {
    const Case cases[] = {
        {2, 1, 304, 1764, 0}, {2, 1, 304, 1764, 640},  {1, 2, 608, 1764, 0},  {3, 1, 330, 960, 0},
        {3, 4, 404, 1176, 0}, {8, 7, 303, 1764, 1024}, {1, 3, 100, 999, 384}, {1, 3, 100, 999, 256},
        {5, 3, 64, 300, 320}, {2, 5, 90, 1000, 192},
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.up << "/" << c.down << " taps " << c.taps << " block "
                                        << c.block << " length " << c.length);
        const int n = c.up * c.taps;
        const StageFilterDesign design{c.up,
                                       c.down,
                                       n,
                                       0.9f / static_cast<float>(c.up + c.down),
                                       FilterWindow::Kaiser,
                                       0.5 / (c.up + c.down),
                                       0.0};
        const std::vector<double> filter = DesignStageFilter(design);
        const std::size_t length =
            c.length != 0 ? c.length
                          : FftBranches::Choose(std::size_t(c.taps), c.up, c.down, c.block).length;
        auto branches = std::make_shared<const PolyphaseBranches>(c.up, filter);
        auto spectra = std::make_shared<const FftBranches>(c.up, c.down, filter, length);
        for (const bool rounds : {true, false}) {
            SCOPED_TRACE(rounds ? "rounded to float" : "double precision");
            PolyphaseStage direct(c.down, c.block, branches, PolyphaseKernel::Path::Generic,
                                  rounds);
            PolyphaseStage fast(c.down, c.block, branches, PolyphaseKernel::Path::Generic, rounds,
                                spectra);
            ASSERT_TRUE(fast.Fast());
            std::vector<double> a(direct.OutputLength());
            std::vector<double> b(fast.OutputLength());
            std::size_t same = 0;
            std::size_t total = 0;
            for (int pass = 0; pass < 3; ++pass) {
                for (std::size_t i = 0; i < c.block; ++i) {
                    // Floats where the cascade rounds its samples.
                    const double x = noise(random) * 30000.0;
                    direct.Block()[i] = rounds ? static_cast<float>(x) : x;
                    fast.Block()[i] = direct.Block()[i];
                }
                direct.Filter(a.data());
                fast.Filter(b.data());
                for (std::size_t k = 0; k < a.size(); ++k) {
                    const double ulp = rounds ? std::ldexp(std::abs(a[k]), -23) : 0.0;
                    ASSERT_LE(std::abs(a[k] - b[k]), ulp + 1e-9)
                        << "pass " << pass << " output " << k;
                    same += a[k] == b[k] ? 1u : 0u;
                }
                total += a.size();
            }
            if (rounds) {
                EXPECT_GT(same, total * 9 / 10);
            }
        }
    }
}

// The steep plans of common ratios use fast convolution for their long
// stages, and count its buffers in the memory they predict.
TEST(FftConvolver, SteepPlansUseItWhereItPays) {
    for (const auto& [from, to] :
         {std::pair{44100, 48000}, std::pair{96000, 44100}, std::pair{48000, 96000}}) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to);
        const auto plan = ResamplePlan::For(from, to, FilterSetting::Steep);
        PolyphaseResample resampler(plan);
        bool fast = false;
        for (std::size_t i = 0; i < plan->Stages().size(); ++i) {
            EXPECT_EQ(resampler.Stage(i).Fast(), plan->Stages()[i].fft_length != 0);
            fast = fast || resampler.Stage(i).Fast();
        }
        EXPECT_TRUE(fast);
        EXPECT_EQ(resampler.StateBytes(), plan->StateBytes());
    }
}

// Every transform the planner may pick has a kept, measured plan: without it
// the steep filter runs about a third slower and its output bytes depend on
// the library's unmeasured choice. Fails after the library changes version:
// rerun tools/make_fft_wisdom.
TEST(FftBranches, EveryLengthItMayPickHasAMeasuredPlan) {
    const std::vector<double> filter(8, 0.125);
    for (const std::size_t n : FftBranches::Lengths()) {
        for (int d = 1; d <= 32; ++d) {
            if (d == 1 || n % (2 * std::size_t(d)) == 0) {
                EXPECT_TRUE(FftBranches(1, d, filter, n).Measured()) << n << " folded " << d;
            }
        }
    }
}
