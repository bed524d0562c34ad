#include "dsp/requantisation/IntegerRequantiser.hpp"

#include "dsp/Noise_shaping.hpp"
#include "dsp/dither/dummy_dither.hpp"
#include "dsp/dither/hp_tpdf_dither.hpp"
#include "dsp/dither/tpdf_dither.hpp"
#include "support/Signals.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using Requantiser = dsp::requantisation::IntegerRequantiser<int>;
using testsupport::Sine;

Requantiser Make(unsigned bits_removed, int output_bits, int dither_type, int noise_shaping,
                 int dither_bits = 1) {
    Requantiser r;
    r.bits_removed = bits_removed;
    r.output_bits = output_bits;
    r.dither_bits = dither_bits;
    r.dither_type = dither_type;
    r.noise_shaping = noise_shaping;
    r.UseFixedSeed(42);
    r.Prepare();
    return r;
}

std::vector<int> Requantise(Requantiser& r, std::vector<int> block) {
    r.Process(block.data(), static_cast<unsigned>(block.size()));
    return block;
}

std::vector<double> Table(int noise_shaping) {
    namespace ns = dsp::noise_shaping;
    switch (noise_shaping) {
    case 1:
        return {ns::table_1.begin(), ns::table_1.end()};
    case 2:
        return {ns::table_2.begin(), ns::table_2.end()};
    case 3:
        return {ns::table_3.begin(), ns::table_3.end()};
    default:
        return {0.0};
    }
}

// The requantiser written out plainly, one sample at a time: s from the past
// errors, dither, round half away from zero, clip, feed back the error of the
// unclipped rounded value.
class Reference {
public:
    Reference(unsigned bits_removed, int output_bits, int dither_type, int noise_shaping,
              int dither_bits, std::uint32_t salt, std::uint64_t seed)
        : coefficients(Table(noise_shaping)), past(coefficients.size(), 0.0),
          scale(std::pow(2.0, bits_removed)), max_output((1 << (output_bits - 1)) - 1),
          min_output(-max_output - 1) {
        if (dither_type == 1) {
            auto d = std::make_shared<dsp::dither::tpdf_dither>();
            d->SetSeedSalt(salt);
            d->UseFixedSeed(seed);
            d->Init(static_cast<int>(bits_removed), dither_bits, 0);
            next = [d] { return d->Next(); };
        } else if (dither_type == 2) {
            auto d = std::make_shared<dsp::dither::hp_tpdf_dither>();
            d->SetSeedSalt(salt);
            d->UseFixedSeed(seed);
            d->Init(static_cast<int>(bits_removed), dither_bits, 0);
            next = [d] { return d->Next(); };
        } else {
            next = [] { return 0; };
        }
    }

    int Step(int x) {
        const double v = x;
        // Summed oldest error first, as the filter does, so that the results
        // agree to the last bit.
        double s = 0.0;
        for (std::size_t k = coefficients.size(); k-- > 0;) {
            s += coefficients[k] * past[k];
        }
        const double d = next();
        const double t = (d + (v - s)) / scale;
        const double r = t >= 0.0 ? t + 0.5 : t - 0.5;
        const double rounded = std::trunc(r);
        int q;
        if (r > max_output) {
            q = max_output;
        } else if (r >= min_output) {
            q = static_cast<int>(rounded);
        } else {
            q = min_output;
        }
        past.insert(past.begin(), rounded * scale - v + s);
        past.pop_back();
        return q;
    }

private:
    std::vector<double> coefficients;
    std::vector<double> past;
    double scale;
    int max_output;
    int min_output;
    std::function<int()> next;
};

TEST(IntegerRequantiser, DefaultState) {
    Requantiser r;
    EXPECT_EQ(8u, r.bits_removed);
    EXPECT_EQ(0u, r.bits_added);
    EXPECT_EQ(16, r.output_bits);
    EXPECT_EQ(1, r.dither_bits);
    EXPECT_EQ(2, r.dither_type);
    EXPECT_EQ(3, r.noise_shaping);
    EXPECT_EQ(256.0, r.Scale());
    EXPECT_EQ(32767, r.MaxOutput());
    EXPECT_EQ(-32768, r.MinOutput());
    EXPECT_EQ(0u, r.ClippedCount());
}

TEST(IntegerRequantiser, PlainRoundingFrom24To16Bits) {
    Requantiser r = Make(8, 16, 0, 0);
    EXPECT_EQ(256.0, r.Scale());
    const std::vector<int> in = {1000, -1000, 128, -128, 127, -127, 0, 8388607, -8388608, 383};
    const std::vector<int> out = {4, -4, 1, -1, 0, 0, 0, 32767, -32768, 1};
    EXPECT_EQ(out, Requantise(r, in));
    // 8388607 / 256 rounds to 32768, one past the top: saturated, and counted.
    EXPECT_EQ(1u, r.ClippedCount());
}

TEST(IntegerRequantiser, ClipsBothEndsAndCounts) {
    Requantiser r = Make(8, 16, 0, 0);
    // 8388480 / 256 = 32767.5 rounds to 32768; -8388736 / 256 = -32768.5 to -32769.
    const std::vector<int> in = {8388480, -8388736, 8388479, -8388735, INT_MAX, INT_MIN};
    const std::vector<int> out = {32767, -32768, 32767, -32768, 32767, -32768};
    EXPECT_EQ(out, Requantise(r, in));
    EXPECT_EQ(4u, r.ClippedCount());
    r.Prepare();
    EXPECT_EQ(0u, r.ClippedCount());
}

TEST(IntegerRequantiser, EqualWidthsPassUnchangedButClip) {
    Requantiser r = Make(0, 16, 0, 0);
    const std::vector<int> inside = {0, 1, -1, 32767, -32768, 12345, -54 * 7};
    EXPECT_EQ(inside, Requantise(r, inside));
    EXPECT_EQ(0u, r.ClippedCount());
    const std::vector<int> in = {40000, -40000, 5, 32768, -32769};
    const std::vector<int> out = {32767, -32768, 5, 32767, -32768};
    EXPECT_EQ(out, Requantise(r, in));
    EXPECT_EQ(4u, r.ClippedCount());

    Requantiser default_output;
    default_output.bits_removed = 0;
    default_output.Prepare();
    EXPECT_EQ(0, default_output.dither_type);
    EXPECT_EQ(0, default_output.noise_shaping);
    EXPECT_EQ((std::vector<int>{32767, 100, -32768}),
              Requantise(default_output, {40000, 100, -40000}));
    EXPECT_EQ(2u, default_output.ClippedCount());
}

TEST(IntegerRequantiser, ThirtyTwoBitsPassWhole) {
    Requantiser r = Make(0, 32, 0, 0);
    const std::vector<int> in = {INT_MAX, INT_MIN, 0, -1};
    EXPECT_EQ(in, Requantise(r, in));
    EXPECT_EQ(0u, r.ClippedCount());
}

TEST(IntegerRequantiser, WidensExactlyAndClipsAfterTheShift) {
    Requantiser r;
    r.bits_removed = 0;
    r.bits_added = 8;
    r.output_bits = 24;
    r.Prepare();
    EXPECT_EQ(0, r.dither_type);
    EXPECT_EQ(0, r.noise_shaping);
    const std::vector<int> in = {1, -1, -32768, 32767, 0, 40000, -40000};
    const std::vector<int> out = {256, -256, -8388608, 8388352, 0, 8388607, -8388608};
    EXPECT_EQ(out, Requantise(r, in));
    EXPECT_EQ(2u, r.ClippedCount());
}

TEST(IntegerRequantiser, NegativeDifferenceStoredUnsignedWidens) {
    Requantiser r;
    r.bits_removed = static_cast<unsigned>(16 - 24);
    r.output_bits = 24;
    r.Prepare();
    EXPECT_EQ(0u, r.bits_removed);
    EXPECT_EQ(8u, r.bits_added);
    EXPECT_EQ((std::vector<int>{256, -8388608}), Requantise(r, {1, -32768}));

    Requantiser to_32;
    to_32.bits_removed = 0;
    to_32.bits_added = 24;
    to_32.output_bits = 32;
    to_32.Prepare();
    EXPECT_EQ((std::vector<int>{INT_MIN, 127 << 24, 1 << 24}), Requantise(to_32, {-128, 127, 1}));
}

TEST(IntegerRequantiser, MatchesPlainAlgorithmForEveryShapingAndDither) {
    // Loud enough near the top to clip with some of the shaping filters.
    const std::vector<int> signal = Sine(6000, 997.0, 44100.0, 8370000.0, 30000.0);
    for (int shaping = 0; shaping <= 3; ++shaping) {
        for (int dither = 0; dither <= 2; ++dither) {
            Requantiser r = Make(8, 16, dither, shaping);
            r.seed_salt = 5;
            r.Prepare();
            Reference reference(8, 16, dither, shaping, 1, 5, 42);
            std::vector<int> out = signal;
            // Uneven blocks: the state must carry over from one to the next.
            const unsigned blocks[] = {1, 999, 2000, 3000};
            unsigned start = 0;
            for (unsigned size : blocks) {
                r.Process(out.data() + start, size);
                start += size;
            }
            std::uint64_t clips = 0;
            for (std::size_t i = 0; i < signal.size(); ++i) {
                const int expected = reference.Step(signal[i]);
                ASSERT_EQ(expected, out[i])
                    << "shaping " << shaping << " dither " << dither << " sample " << i;
                const double ideal = std::round(signal[i] / 256.0);
                clips += (ideal > 32767.0 || ideal < -32768.0) ? 1 : 0;
            }
            if (shaping == 0 && dither == 0) {
                EXPECT_EQ(clips, r.ClippedCount());
            }
            EXPECT_GT(r.ClippedCount(), 0u) << "shaping " << shaping << " dither " << dither;
        }
    }
}

TEST(IntegerRequantiser, LoudInputStaysNearTheClippedIdeal) {
    // 1 kHz, 10 % over full scale of 24 bits.
    const std::vector<int> signal = Sine(44100 / 4, 1000.0, 44100.0, 1.1 * 8388607.0);
    // Sums of |1|, |c[k]| of each noise transfer.
    const double transfer_sums[] = {1.0, 4.0, 3.714, 22.386};
    for (int shaping = 0; shaping <= 3; ++shaping) {
        for (int dither = 0; dither <= 2; dither += 2) {
            Requantiser r = Make(8, 16, dither, shaping);
            const std::vector<int> out = Requantise(r, signal);
            // The error fed back never exceeds half a step plus the dither (one
            // step), so the output stays within that, through the noise transfer,
            // of the ideal.
            const double bound = 0.5 + transfer_sums[shaping] * (dither == 0 ? 0.5 : 1.5);
            double worst = 0.0;
            for (std::size_t i = 0; i < signal.size(); ++i) {
                const double ideal = std::clamp(std::round(signal[i] / 256.0), -32768.0, 32767.0);
                worst = std::max(worst, std::abs(out[i] - ideal));
            }
            EXPECT_LE(worst, bound) << "shaping " << shaping << " dither " << dither;
            EXPECT_GT(r.ClippedCount(), 0u);
        }
    }
}

TEST(IntegerRequantiser, DitherThatWouldOverflowIsOff) {
    // 32-bit input to 8 bits: 24 bits removed, 8 dither bits: 2^31 does not fit.
    Requantiser r = Make(24, 8, 1, 0, 8);
    EXPECT_EQ(0, r.dither_type);
    Requantiser plain = Make(24, 8, 0, 0);
    const std::vector<int> signal = Sine(2000, 440.0, 44100.0, 2.0e9);
    EXPECT_EQ(Requantise(plain, signal), Requantise(r, signal));

    // 2^30 still fits.
    Requantiser largest = Make(24, 8, 1, 0, 7);
    EXPECT_EQ(1, largest.dither_type);
}

TEST(IntegerRequantiser, SaltsSeparateChannelsAndSeedsRepeat) {
    const std::vector<int> silence(4000, 0);
    for (int dither = 1; dither <= 2; ++dither) {
        Requantiser left = Make(8, 16, dither, 0);
        Requantiser right = Make(8, 16, dither, 0);
        Requantiser again = Make(8, 16, dither, 0);
        right.seed_salt = 1;
        right.Prepare();
        const std::vector<int> l = Requantise(left, silence);
        EXPECT_EQ(l, Requantise(again, silence));
        const std::vector<int> rr = Requantise(right, silence);
        int equal = 0;
        for (std::size_t i = 0; i < l.size(); ++i) {
            equal += l[i] == rr[i] ? 1 : 0;
        }
        // Dither of one step gives outputs -1, 0, 1; independent channels agree
        // on about half of the samples, identical ones on all.
        EXPECT_LT(equal, 2400) << "dither " << dither;

        // Prepare restarts the same sequence.
        left.Prepare();
        EXPECT_EQ(l, Requantise(left, silence));
    }
}

TEST(IntegerRequantiser, ClockSeededChannelsDiffer) {
    const std::vector<int> silence(4000, 0);
    Requantiser left;
    Requantiser right;
    right.seed_salt = 1;
    right.Prepare();
    EXPECT_NE(Requantise(left, silence), Requantise(right, silence));
}

TEST(IntegerRequantiser, OddWidthsDoNotBreakIt) {
    Requantiser r = Make(8, 0, 2, 3);
    const std::vector<int> out = Requantise(r, Sine(1000, 1000.0, 44100.0, 8000000.0));
    for (int v : out) {
        ASSERT_GE(v, -1);
        ASSERT_LE(v, 0);
    }
    Requantiser huge = Make(1000, 16, 2, 3);
    EXPECT_EQ(31u, huge.bits_removed);
    for (int v : Requantise(huge, {INT_MAX, INT_MIN, 0})) {
        EXPECT_GE(v, -1);
        EXPECT_LE(v, 1);
    }
    huge.Process(nullptr, 10);
}

} // namespace
