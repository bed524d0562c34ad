// Construction, stream handling and output lengths of the resampler.

#include "dsp/polyphase/PolyphaseResample.hpp"

#include "support/ResamplerDrive.hpp"
#include "support/Signals.hpp"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <vector>

using testsupport::ExactLength;
using testsupport::NoiseSamples;
using testsupport::ReferenceResample;
using testsupport::Resample;

namespace {

// How many output samples differ, and by how many units in the last place
// at most: one integer step, or the float spacing at that value where a
// float carries fewer bits than the integer (32-bit samples).
struct Difference {
    std::size_t count = 0;
    std::int64_t largest = 0;
};

Difference Compare(const std::vector<int>& a, const std::vector<int>& b) {
    Difference d;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        const std::int64_t delta = std::llabs(std::int64_t(a[i]) - b[i]);
        if (delta != 0) {
            int exponent = 0;
            std::frexp(static_cast<double>(b[i]), &exponent);
            const std::int64_t unit = exponent > 24 ? std::int64_t(1) << (exponent - 24) : 1;
            ++d.count;
            d.largest = std::max(d.largest, (delta + unit - 1) / unit);
        }
    }
    return d;
}

// Feeds `length` samples of `level` with out.size() samples of room, checks
// that all of them were taken and returns how many came out.
unsigned FeedLevel(PolyphaseResample& r, unsigned length, int level, std::vector<int>& out) {
    const std::vector<int> in(length, level);
    unsigned in_count = length;
    auto out_count = static_cast<unsigned>(out.size());
    r.Process(in.data(), out.data(), in_count, out_count);
    EXPECT_EQ(in_count, length);
    return out_count;
}

} // namespace

TEST(PolyphaseResample, RejectsRatesThatAreNotPositive) {
    EXPECT_THROW(PolyphaseResample(0, 48000), std::invalid_argument);
    EXPECT_THROW(PolyphaseResample(44100, 0), std::invalid_argument);
    EXPECT_THROW(PolyphaseResample(-44100, 48000), std::invalid_argument);
    EXPECT_THROW(PolyphaseResample(0, 0), std::invalid_argument);
}

TEST(PolyphaseResample, EqualRatesCopy) {
    PolyphaseResample r(44100, 44100);
    EXPECT_EQ(r.Ratio(), 1.0);
    EXPECT_FALSE(r.Plan().Resamples());
    const std::vector<int> in = {1, -2, 3, 2147483647, -2147483647 - 1};
    std::vector<int> out(in.size());
    unsigned in_count = 5, out_count = 0; // room is not consulted
    EXPECT_TRUE(r.Process(in.data(), out.data(), in_count, out_count));
    EXPECT_EQ(in_count, 5u);
    EXPECT_EQ(out_count, 5u);
    EXPECT_EQ(out, in);
    out_count = 5;
    EXPECT_TRUE(r.Flush(out.data(), out_count));
    EXPECT_EQ(out_count, 0u);
    in_count = 5; // a null input is a flush: nothing to copy
    EXPECT_TRUE(r.Process(nullptr, out.data(), in_count, out_count));
    EXPECT_EQ(in_count, 0u);
    EXPECT_EQ(out_count, 0u);
}

TEST(PolyphaseResample, Layout44100To48000) {
    PolyphaseResample r(44100, 48000);
    const ResamplePlan& plan = r.Plan();
    EXPECT_EQ(plan.UpFactor(), 160);
    EXPECT_EQ(plan.DownFactor(), 147);
    EXPECT_DOUBLE_EQ(r.Ratio(), 160.0 / 147.0);
    EXPECT_EQ(plan.InputBlockLength(), 1764u);
    EXPECT_EQ(plan.OutputBlockLength(), 1920u);
    ASSERT_EQ(plan.Stages().size(), 3u);
    const int up[] = {8, 4, 5}, down[] = {7, 3, 7}, length[] = {1064, 1032, 1050},
              taps[] = {133, 258, 210};
    const std::size_t block[] = {1764, 2016, 2688};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(plan.Stages()[i].up, up[i]);
        EXPECT_EQ(plan.Stages()[i].down, down[i]);
        EXPECT_EQ(plan.Stages()[i].length, length[i]);
        EXPECT_EQ(plan.Stages()[i].taps, static_cast<std::size_t>(taps[i]));
        EXPECT_EQ(plan.Stages()[i].block_length, block[i]);
        // The stage built from the plan follows it.
        EXPECT_EQ(r.Stage(i).Taps(), taps[i]);
        EXPECT_EQ(r.Stage(i).BlockLength(), block[i]);
    }
    EXPECT_EQ(plan.Skip(), 270u);
    EXPECT_EQ(r.Skip(), 270u);
}

TEST(PolyphaseResample, LayoutOfTheOctaves) {
    struct Case {
        int from, to;
        std::size_t input_block, output_block, skip;
    };
    for (const Case& c :
         {Case{22050, 44100, 1024, 2048, 512}, Case{44100, 22050, 2048, 1024, 256}}) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        const auto plan = ResamplePlan::For(c.from, c.to);
        ASSERT_EQ(plan->Stages().size(), 1u);
        EXPECT_EQ(plan->Stages()[0].length, 1024);
        EXPECT_EQ(plan->InputBlockLength(), c.input_block);
        EXPECT_EQ(plan->OutputBlockLength(), c.output_block);
        EXPECT_EQ(plan->Skip(), c.skip);
    }
}

TEST(PolyphaseResample, RatesWhoseCommonMultipleExceedsInt) {
    // lcm(65536, 59049) = 2^16 * 3^10 is about 3.9e9.
    PolyphaseResample r(65536, 59049);
    EXPECT_EQ(r.Plan().UpFactor(), 59049);
    EXPECT_EQ(r.Plan().DownFactor(), 65536);
    EXPECT_EQ(r.Plan().InputBlockLength(), 65536u); // one whole period of the ratio
    EXPECT_EQ(r.Plan().OutputBlockLength(), 59049u);
    const std::vector<int> out = Resample(r, std::vector<int>(1000, 100), 300, 500);
    EXPECT_EQ(out.size(), ExactLength(1000, 65536, 59049));
}

TEST(PolyphaseResample, ExactOutputLengths) {
    struct Case {
        int in_rate, out_rate;
        std::size_t length;
    };
    const Case cases[] = {
        {44100, 48000, 44100}, // exactly 48000, not one more
        {48000, 44100, 48000}, {44100, 48000, 1},    {44100, 48000, 10},   {44100, 48000, 200},
        {44100, 48000, 1764},  {44100, 48000, 1765}, {96000, 44100, 1},    {96000, 44100, 777},
        {22050, 44100, 3},     {44100, 22050, 3},    {44100, 22050, 4097}, {48000, 44100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in_rate << " -> " << c.out_rate << ", " << c.length);
        const std::vector<int> out =
            Resample(c.in_rate, c.out_rate, std::vector<int>(c.length, 1000));
        EXPECT_EQ(out.size(), ExactLength(c.length, static_cast<std::uint64_t>(c.in_rate),
                                          static_cast<std::uint64_t>(c.out_rate)));
    }
    EXPECT_EQ(ExactLength(44100, 44100, 48000), 48000u);
    EXPECT_EQ(ExactLength(200, 44100, 48000), 218u);
}

TEST(PolyphaseResample, ShortInputComesOutWhole) {
    // Shorter than the latency: nothing before the flush, all of it after.
    PolyphaseResample r(44100, 48000);
    std::vector<int> out(4096);
    EXPECT_EQ(FeedLevel(r, 200, 20000, out), 0u);
    EXPECT_EQ(r.Owed(), 218u);
    unsigned out_count = 4096;
    r.Flush(out.data(), out_count);
    EXPECT_EQ(out_count, 218u);
    // A DC level comes out as the same level once the filter has settled.
    EXPECT_NEAR(out[109], 20000, 20);
    out_count = 4096;
    r.Flush(out.data(), out_count);
    EXPECT_EQ(out_count, 0u);
}

TEST(PolyphaseResample, FlushNeverPausesWhileSamplesAreOwed) {
    // With little room, every flush call that owes something writes.
    PolyphaseResample r(22050, 44100);
    std::vector<int> out(7);
    std::size_t total = FeedLevel(r, 10, 5000, out);
    // No room: nothing written and nothing lost.
    unsigned out_count = 0;
    r.Flush(out.data(), out_count);
    EXPECT_EQ(out_count, 0u);
    EXPECT_EQ(r.Owed(), 20u);
    for (;;) {
        const std::uint64_t owed = r.Owed();
        out_count = 7;
        r.Flush(out.data(), out_count);
        if (out_count == 0) {
            EXPECT_EQ(owed, 0u);
            break;
        }
        total += out_count;
    }
    EXPECT_EQ(total, 20u);
}

TEST(PolyphaseResample, SameOutputWhateverTheCallSizes) {
    const std::vector<int> input = NoiseSamples(5000, 16, 1);
    const int pairs[][2] = {{44100, 48000}, {96000, 44100}, {44100, 22050}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        const std::vector<int> whole = Resample(pair[0], pair[1], input, 100000, 100000);
        EXPECT_EQ(Resample(pair[0], pair[1], input, 1, 1), whole);
        EXPECT_EQ(Resample(pair[0], pair[1], input, 1764, 1920), whole);
        EXPECT_EQ(Resample(pair[0], pair[1], input, 333, 7), whole);
        EXPECT_EQ(Resample(pair[0], pair[1], input, 4096, 2000), whole);
    }
}

TEST(PolyphaseResample, MatchesAStraightforwardCascade) {
    // The whole signal through each stage's defining sum, strictly in tap
    // order: the block handling, histories, latency and length must agree.
    // Summation order may differ: at most one unit, rarely.
    struct Case {
        int in_rate, out_rate, bits;
    };
    const Case cases[] = {{44100, 48000, 16}, {96000, 44100, 24}, {22050, 44100, 16},
                          {48000, 44100, 24}, {44100, 11025, 16}, {8000, 44100, 16},
                          {44100, 48000, 32}, {96000, 44100, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in_rate << " -> " << c.out_rate);
        const std::vector<int> input = NoiseSamples(3000, c.bits, 2);
        PolyphaseResample r(c.in_rate, c.out_rate);
        const std::vector<int> reference = ReferenceResample(r, input);
        const std::vector<int> output = Resample(r, input, 1000, 1000);
        ASSERT_EQ(output.size(), reference.size());
        const Difference d = Compare(output, reference);
        EXPECT_LE(d.largest, 1);
        EXPECT_LE(d.count, output.size() / 1000);
    }
}

TEST(PolyphaseResample, ImpulseLandsWhereTheRatioPutsIt) {
    const int pairs[][2] = {{44100, 48000}, {48000, 44100}, {96000, 44100}, {22050, 44100}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        for (const std::size_t at : {std::size_t(300), std::size_t(1234)}) {
            std::vector<int> input(2000, 0);
            input[at] = 1 << 20;
            const std::vector<int> out = Resample(pair[0], pair[1], input);
            const std::size_t peak =
                static_cast<std::size_t>(std::max_element(out.begin(), out.end()) - out.begin());
            // Between output samples: the centre of the response's energy,
            // which is where a symmetric response is centred.
            double energy = 0, moment = 0;
            for (std::size_t i = peak - 32; i <= peak + 32; ++i) {
                const double e = double(out[i]) * out[i];
                energy += e;
                moment += e * double(i);
            }
            const double position = moment / energy;
            const double expected = double(at) * pair[1] / pair[0];
            // The residual delay the whole-sample latency removal leaves.
            EXPECT_GT(position - expected, -0.05) << at;
            EXPECT_LT(position - expected, 1.0) << at;
        }
    }
}
