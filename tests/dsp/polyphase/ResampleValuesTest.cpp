// The resampler's path for values that are not integers: the same cascade
// as for integers, the values kept as the cascade holds them.

#include "dsp/polyphase/PolyphaseResample.hpp"
#include "dsp/polyphase/ResampleScale.hpp"
#include "support/ResamplerDrive.hpp"
#include "support/Signals.hpp"

#include <gtest/gtest.h>
#include <vector>

using testsupport::NoiseSamples;
using testsupport::Samples;

namespace {

std::vector<double> StreamValues(PolyphaseResample& r, const std::vector<double>& in,
                                 unsigned piece) {
    std::vector<double> out;
    std::vector<double> room(777);
    for (std::size_t at = 0; at < in.size();) {
        unsigned taken = static_cast<unsigned>(std::min<std::size_t>(piece, in.size() - at));
        unsigned delivered = static_cast<unsigned>(room.size());
        r.Process(in.data() + at, room.data(), taken, delivered);
        at += taken;
        out.insert(out.end(), room.begin(), room.begin() + delivered);
    }
    for (unsigned delivered = 1; delivered != 0;) {
        delivered = static_cast<unsigned>(room.size());
        r.Flush(room.data(), delivered);
        out.insert(out.end(), room.begin(), room.begin() + delivered);
    }
    return out;
}

} // namespace

TEST(ResampleValues, IntegersAsValuesGiveTheIntegerPathsSamples) {
    // Integers entered as the cascade would hold them come out as the values
    // that the integer path truncates: nothing else differs.
    const Samples input = NoiseSamples(5000, 24, 3);
    std::vector<double> values;
    for (const int x : input) {
        values.push_back(resample_scale::FromInteger(x));
    }
    for (const auto& rates : {std::pair{44100, 48000}, std::pair{96000, 44100}}) {
        SCOPED_TRACE(rates.first);
        PolyphaseResample integer_path(rates.first, rates.second);
        PolyphaseResample value_path(rates.first, rates.second);
        const Samples expected = testsupport::Resample(integer_path, input, 1000, 777);
        const std::vector<double> got = StreamValues(value_path, values, 1000);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(resample_scale::ToInteger(static_cast<float>(got[i])), expected[i]) << i;
            ASSERT_EQ(got[i], static_cast<float>(got[i])) << i; // held as floats
        }
    }
}

TEST(ResampleValues, EqualRatesCopyWithoutRoundingAndResetStartsAfresh) {
    PolyphaseResample copy(48000, 48000);
    const std::vector<double> thirds = {1.0 / 3, -2.0 / 3, 1e-300, 123456.789};
    EXPECT_EQ(StreamValues(copy, thirds, 3), thirds);

    // Values are rounded to float as they enter the cascade: 1/3 and the
    // float nearest to it give the same output.
    PolyphaseResample exact(44100, 48000);
    PolyphaseResample rounded(44100, 48000);
    const std::vector<double> in(3000, 1.0 / 3);
    const std::vector<double> in_float(3000, static_cast<double>(static_cast<float>(1.0 / 3)));
    const std::vector<double> first = StreamValues(exact, in, 500);
    EXPECT_EQ(first, StreamValues(rounded, in_float, 700));

    // After Reset the same stream gives the same samples again.
    exact.Reset();
    EXPECT_EQ(StreamValues(exact, in, 300), first);
}
