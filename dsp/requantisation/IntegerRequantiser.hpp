#pragma once

#include "dsp/dither/IDither.hpp"
#include "dsp/filters/fir/FIR_Noise_Shaping_Filter_Base.hpp"

#include <boost/shared_ptr.hpp>
#include <cstdint>

namespace dsp::requantisation {

template <typename T>
class IntegerRequantiser;

// Changes the word length of one channel's samples, in place. Samples come in
// right-justified at the input width and leave right-justified at
// `output_bits`.
//
// Narrowing (bits_removed > 0): each sample gets the dither added and the
// noise-shaping correction subtracted, is rounded half away from zero to the
// output step of 2^bits_removed input units and clipped to the output width;
// the rounding error, taken before clipping, goes back into the filter.
// Widening (bits_added > 0): samples are shifted left exactly, without dither
// or shaping. Equal widths: samples pass unchanged. In every case values beyond
// the output width are clipped to it, never wrapped, and counted.
template <>
class IntegerRequantiser<int> {
public:
    // 8 bits removed down to 16-bit output with high-pass triangular dither of
    // one step and the nine-tap shaping, prepared.
    IntegerRequantiser();

    // A copy would share the dither generator and the filter with the
    // original; channels must each have their own.
    IntegerRequantiser(const IntegerRequantiser&) = delete;
    IntegerRequantiser& operator=(const IntegerRequantiser&) = delete;
    IntegerRequantiser(IntegerRequantiser&&) = default;
    IntegerRequantiser& operator=(IntegerRequantiser&&) = default;

    unsigned bits_removed;       // input width - output width when narrowing, else 0
    unsigned bits_added = 0;     // output width - input width when widening, else 0
    int output_bits;             // output width, 1 .. 32
    int dither_bits;             // dither peak is 2^(dither_bits - 1) output steps
    int dither_type;             // 0 none, 1 triangular, 2 high-pass triangular
    int noise_shaping;           // 0 none, 1 two taps, 2 three taps, 3 nine taps
    std::uint32_t seed_salt = 0; // per-channel salt mixed with the clock seed

    // Brings the dither generator, the filter and the limits in line with the
    // parameters above and clears the clip count. Types that cannot apply are
    // set to 0: both when no bits are removed, the dither when its amplitude
    // would not fit a 32-bit integer.
    void Prepare();

    // Requantises `count` samples in place; dither and filter state carry over
    // from one call to the next.
    void Process(int* samples, unsigned count);
    // Requantises values that are not integers (converted float samples),
    // given in input units, into `out`: every value is rounded to the output
    // step with dither and noise shaping as narrowing does, also when no
    // bits are removed. Magnitudes beyond 2^52 are taken as 2^52; they clip
    // in any case.
    void Process(const double* values, int* out, unsigned count);

    // Samples clipped to the output width since the last Prepare.
    std::uint64_t ClippedCount() const { return clipped; }

    // For tests and tools only: from the next Prepare on, seed the dither from
    // `seed` (still mixed with seed_salt) instead of the calendar clock, so a
    // run can be repeated.
    void UseFixedSeed(std::uint64_t seed) {
        fixed_seed = true;
        fixed_seed_value = seed;
    }

    double Scale() const { return scale; }
    int MaxOutput() const { return max_output; }
    int MinOutput() const { return min_output; }

private:
    enum class Mode { pass, widen, narrow };

    template <class Sample>
    void ProcessNarrow(const Sample* in, int* out, unsigned count);

    double scale = 1.0;
    int max_output = 0;
    int min_output = 0;
    double upper_limit = 0.0;
    double lower_limit = 0.0;
    boost::shared_ptr<dsp::dither::IDither> dither;
    boost::shared_ptr<dsp::filters::fir::FIR_Noise_Shaping_Filter_Base<double>> noise_shaper;

    // What Prepare built, so Process can call the concrete types directly
    // even if the public parameters are changed without a new Prepare.
    Mode mode = Mode::pass;
    int prepared_dither = 0;
    int prepared_shaping = 0;
    unsigned prepared_shift = 0;
    std::uint64_t clipped = 0;
    bool fixed_seed = false;
    std::uint64_t fixed_seed_value = 0;
};

} // namespace dsp::requantisation
