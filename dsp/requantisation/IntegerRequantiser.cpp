#include "dsp/requantisation/IntegerRequantiser.hpp"

#include "dsp/Noise_shaping.hpp"
#include "dsp/dither/DitherAmplitude.hpp"
#include "dsp/dither/dummy_dither.hpp"
#include "dsp/dither/hp_tpdf_dither.hpp"
#include "dsp/dither/tpdf_dither.hpp"
#include "dsp/filters/fir/FIR_DirectForm.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <type_traits>

namespace dsp::requantisation {

namespace {

using dsp::filters::fir::FIR_DirectForm;
using Shaper = dsp::filters::fir::FIR_Noise_Shaping_Filter_Base<double>;

// A sample holds at most 32 bits, so no more than 31 can be taken off or put on.
constexpr std::int64_t max_width_change = 31;

// An unsigned width difference at or above 2^31 is a negative one stored
// unsigned; read it back as negative.
std::int64_t SignedWidth(unsigned bits) {
    return bits >= 0x80000000u ? static_cast<std::int64_t>(bits) - 0x100000000ll
                               : static_cast<std::int64_t>(bits);
}

template <typename Table>
boost::shared_ptr<Shaper> MakeShaper(const Table& table) {
    auto filter = boost::shared_ptr<FIR_DirectForm<std::tuple_size<Table>::value, double>>(
        new FIR_DirectForm<std::tuple_size<Table>::value, double>());
    filter->SetCoefficients(table.begin(), table.end());
    return filter;
}

template <class Concrete>
boost::shared_ptr<dsp::dither::IDither> MakeSeededDither(std::uint32_t salt, bool fixed,
                                                         std::uint64_t seed) {
    auto generator = boost::shared_ptr<Concrete>(new Concrete());
    generator->SetSeedSalt(salt);
    if (fixed) {
        generator->UseFixedSeed(seed);
    }
    return generator;
}

// Calls f with the filter as the concrete type that Prepare built for `kind`.
template <class F>
decltype(auto) WithShaper(int kind, Shaper& shaper, F&& f) {
    switch (kind) {
    case 1:
        return f(static_cast<FIR_DirectForm<2, double>&>(shaper));
    case 2:
        return f(static_cast<FIR_DirectForm<3, double>&>(shaper));
    case 3:
        return f(static_cast<FIR_DirectForm<9, double>&>(shaper));
    default:
        return f(static_cast<FIR_DirectForm<1, double>&>(shaper));
    }
}

// Calls f with the dither generator as the concrete type Prepare built for `kind`.
template <class F>
decltype(auto) WithDither(int kind, dsp::dither::IDither& dither, F&& f) {
    switch (kind) {
    case 1:
        return f(static_cast<dsp::dither::tpdf_dither&>(dither));
    case 2:
        return f(static_cast<dsp::dither::hp_tpdf_dither&>(dither));
    default:
        return f(static_cast<dsp::dither::dummy_dither&>(dither));
    }
}

struct Limits {
    double scale;
    double inverse_scale;
    std::int64_t max_output;
    std::int64_t min_output;
};

// Values beyond this are clamped before rounding, so that the rounded value
// always fits 64 bits; they are far outside any output range.
constexpr double largest_value = 4503599627370496.0; // 2^52

inline double Value(int sample) {
    return sample;
}
inline double Value(double value) {
    return std::clamp(value, -largest_value, largest_value);
}

// One block of narrowing. Filter and Dither are the concrete types where they
// are known, so the per-sample calls are direct and can be inlined.
template <class Filter, class Dither, class Sample>
std::uint64_t RequantiseBlock(Filter& shaper, Dither& dither, const Sample* in, int* samples,
                              unsigned count, const Limits& limits) {
    std::uint64_t clipped = 0;
    for (unsigned i = 0; i < count; ++i) {
        const double v = Value(in[i]);
        const double s = shaper.Filter();
        const double d = dither.Next();
        // The scale is a power of two, so multiplying by its inverse is exact
        // and equals the division.
        const double t = (d + (v - s)) * limits.inverse_scale;
        // Half away from zero; written as a choice of addend so that it needs
        // no branch, which the sign of audio would keep mispredicting.
        const double r = t + (t >= 0.0 ? 0.5 : -0.5);
        // |t| stays far below 2^62: the error fed back is bounded by half a
        // step plus the dither, so the correction is bounded too.
        const auto rounded = static_cast<std::int64_t>(r);
        const std::int64_t q = std::min(std::max(rounded, limits.min_output), limits.max_output);
        clipped += q != rounded ? 1u : 0u;
        samples[i] = static_cast<int>(q);
        // The error is that of the unclipped value: feeding back the clipping
        // as well would make the filter chase the overshoot of loud material
        // and burst into large excursions.
        const double e = static_cast<double>(rounded) * limits.scale - v + s;
        shaper.Push(e);
    }
    return clipped;
}

// The unshaped loops draw the dither this many samples ahead.
constexpr unsigned dither_chunk = 256;

// Fills d with the dither of the next chunk of a block of which `left`
// samples remain, and returns the chunk's length.
template <class Dither>
unsigned DrawChunk(Dither& dither, double (&d)[dither_chunk], unsigned left) {
    const unsigned n = std::min(dither_chunk, left);
    // Without dither nothing is drawn: Dithered adds nothing.
    if constexpr (!std::is_same_v<Dither, dither::dummy_dither>) {
        for (unsigned i = 0; i < n; ++i) {
            d[i] = dither.Next();
        }
    }
    return n;
}

// A value plus its drawn dither; without dither the value itself (adding the
// drawn zero would give the same, but costs a load and an addition).
template <class Dither>
double Dithered(const double* d, unsigned i, double value) {
    if constexpr (std::is_same_v<Dither, dither::dummy_dither>) {
        return value;
    } else {
        return d[i] + value;
    }
}

// Narrowing without noise shaping: the shaping filter's sum is then exactly
// 0, so no sample depends on the one before and the loop runs without a
// chain from one to the next. The dither is drawn a chunk ahead. For integer
// samples the rounded value fits 32 bits (at least one bit is removed and the
// dither stays within 2^30), which lets the compiler vectorise the loop.
template <class Dither, class Sample>
std::uint64_t RequantiseUnshaped(Dither& dither, const Sample* in, int* samples, unsigned count,
                                 const Limits& limits) {
    using Rounded = std::conditional_t<std::is_same_v<Sample, int>, std::int32_t, std::int64_t>;
    double d[dither_chunk];
    std::uint64_t clipped = 0;
    for (unsigned start = 0; start < count; start += dither_chunk) {
        const unsigned n = DrawChunk(dither, d, count - start);
        const Sample* x = in + start;
        int* y = samples + start;
        unsigned clipped_here = 0;
        for (unsigned i = 0; i < n; ++i) {
            const double t = Dithered<Dither>(d, i, Value(x[i])) * limits.inverse_scale;
            const double r = t + (t >= 0.0 ? 0.5 : -0.5);
            const auto rounded = static_cast<Rounded>(r);
            const Rounded q = std::min(std::max(rounded, static_cast<Rounded>(limits.min_output)),
                                       static_cast<Rounded>(limits.max_output));
            clipped_here += q != rounded ? 1u : 0u;
            y[i] = static_cast<int>(q);
        }
        clipped += clipped_here;
    }
    return clipped;
}

// The same for values when the output range lies strictly inside 32 bits:
// clamped first to one step beyond the range, the values truncate to 32
// bits, which vectorises, and the steps beyond count as clipped, as they
// would truncated to 64 bits (NaN too, taken to the step below).
// Built also for AVX2 and picked at run time: the same exact operations,
// so the same results.
// Not under ThreadSanitizer, whose runtime is not yet up when the loader
// calls the clones' resolver.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define MARROWVALE_REQUANTISE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define MARROWVALE_REQUANTISE_CLONES
#endif

template <class Dither>
MARROWVALE_REQUANTISE_CLONES std::uint64_t RequantiseUnshaped(Dither& dither, const double* in,
                                                              int* samples, unsigned count,
                                                              const Limits& limits) {
    if (limits.max_output >= std::numeric_limits<std::int32_t>::max() ||
        limits.min_output <= std::numeric_limits<std::int32_t>::min()) {
        return RequantiseUnshaped<Dither, double>(dither, in, samples, count, limits);
    }
    const auto lo = static_cast<std::int32_t>(limits.min_output);
    const auto hi = static_cast<std::int32_t>(limits.max_output);
    const double wide_lo = static_cast<double>(lo) - 1.0;
    const double wide_hi = static_cast<double>(hi) + 1.0;
    double d[dither_chunk];
    std::int32_t w[dither_chunk];
    std::uint64_t clipped = 0;
    for (unsigned start = 0; start < count; start += dither_chunk) {
        const unsigned n = DrawChunk(dither, d, count - start);
        const double* x = in + start;
        for (unsigned i = 0; i < n; ++i) {
            const double t = Dithered<Dither>(d, i, Value(x[i])) * limits.inverse_scale;
            const double r = t + (t >= 0.0 ? 0.5 : -0.5);
            const double above = r >= wide_lo ? r : wide_lo;
            w[i] = static_cast<std::int32_t>(above <= wide_hi ? above : wide_hi);
        }
        int* y = samples + start;
        unsigned clipped_here = 0;
        for (unsigned i = 0; i < n; ++i) {
            // Written as choices rather than min and max, which vectorise
            // only with later instruction sets.
            const std::int32_t v = w[i];
            const std::int32_t a = v < lo ? lo : v;
            const std::int32_t q = a > hi ? hi : a;
            clipped_here += q != v ? 1u : 0u;
            y[i] = q;
        }
        clipped += clipped_here;
    }
    return clipped;
}

} // namespace

IntegerRequantiser<int>::IntegerRequantiser()
    : bits_removed(8), output_bits(16), dither_bits(1), dither_type(2), noise_shaping(3) {
    Prepare();
}

void IntegerRequantiser<int>::Prepare() {
    // Settle the direction of the width change.
    const std::int64_t change = SignedWidth(bits_removed) - SignedWidth(bits_added);
    bits_removed = static_cast<unsigned>(std::clamp<std::int64_t>(change, 0, max_width_change));
    bits_added = static_cast<unsigned>(std::clamp<std::int64_t>(-change, 0, max_width_change));

    if (bits_removed == 0) {
        dither_type = 0;
        noise_shaping = 0;
    } else if (dsp::dither::DitherAmplitude(static_cast<int>(bits_removed), dither_bits, 0) == 0) {
        dither_type = 0;
    }

    switch (dither_type) {
    case 1:
        dither =
            MakeSeededDither<dsp::dither::tpdf_dither>(seed_salt, fixed_seed, fixed_seed_value);
        prepared_dither = 1;
        break;
    case 2:
        dither =
            MakeSeededDither<dsp::dither::hp_tpdf_dither>(seed_salt, fixed_seed, fixed_seed_value);
        prepared_dither = 2;
        break;
    default:
        dither = boost::shared_ptr<dsp::dither::dummy_dither>(new dsp::dither::dummy_dither());
        prepared_dither = 0;
        break;
    }

    switch (noise_shaping) {
    case 1:
        noise_shaper = MakeShaper(dsp::noise_shaping::table_1);
        prepared_shaping = 1;
        break;
    case 2:
        noise_shaper = MakeShaper(dsp::noise_shaping::table_2);
        prepared_shaping = 2;
        break;
    case 3:
        noise_shaper = MakeShaper(dsp::noise_shaping::table_3);
        prepared_shaping = 3;
        break;
    default:
        noise_shaper = MakeShaper(dsp::noise_shaping::table_0);
        prepared_shaping = 0;
        break;
    }

    // Widths outside 1 .. 32 have no sample range; use the nearest that has.
    const int width = std::clamp(output_bits, 1, 32);
    const std::int64_t max_value = (std::int64_t{1} << (width - 1)) - 1;
    scale = std::ldexp(1.0, static_cast<int>(bits_removed));
    max_output = static_cast<int>(max_value);
    min_output = static_cast<int>(-max_value - 1);

    dither->Init(static_cast<int>(bits_removed), dither_bits, 0);
    WithShaper(prepared_shaping, *noise_shaper, [](auto& filter) { filter.Reset(); });

    mode = bits_added > 0 ? Mode::widen : bits_removed > 0 ? Mode::narrow : Mode::pass;
    prepared_shift = bits_added;
    clipped = 0;
}

void IntegerRequantiser<int>::Process(int* samples, unsigned count) {
    if (samples == nullptr || count == 0) {
        return;
    }
    const std::int64_t max_value = max_output;
    const std::int64_t min_value = min_output;
    std::uint64_t clipped_now = 0;
    switch (mode) {
    case Mode::pass:
        for (unsigned i = 0; i < count; ++i) {
            const std::int64_t x = samples[i];
            const std::int64_t y = std::min(std::max(x, min_value), max_value);
            clipped_now += x != y ? 1u : 0u;
            samples[i] = static_cast<int>(y);
        }
        break;
    case Mode::widen: {
        // Multiplying instead of shifting keeps negative values well defined;
        // 2^31 * 2^31 still fits 64 bits.
        const std::int64_t factor = std::int64_t{1} << prepared_shift;
        for (unsigned i = 0; i < count; ++i) {
            const std::int64_t x = static_cast<std::int64_t>(samples[i]) * factor;
            const std::int64_t y = std::min(std::max(x, min_value), max_value);
            clipped_now += x != y ? 1u : 0u;
            samples[i] = static_cast<int>(y);
        }
        break;
    }
    case Mode::narrow:
        ProcessNarrow(samples, samples, count);
        return;
    }
    clipped += clipped_now;
}

void IntegerRequantiser<int>::Process(const double* values, int* out, unsigned count) {
    if (values != nullptr && out != nullptr && count != 0) {
        ProcessNarrow(values, out, count);
    }
}

template <class Sample>
void IntegerRequantiser<int>::ProcessNarrow(const Sample* in, int* out, unsigned count) {
    if (!dither || !noise_shaper) {
        return; // moved from
    }
    const Limits limits{scale, 1.0 / scale, max_output, min_output};
    // Chosen once per block, so the per-sample calls are direct.
    clipped += WithDither(prepared_dither, *dither, [&](auto& generator) {
        if (prepared_shaping == 0) {
            return RequantiseUnshaped(generator, in, out, count, limits);
        }
        return WithShaper(prepared_shaping, *noise_shaper, [&](auto& filter) {
            return RequantiseBlock(filter, generator, in, out, count, limits);
        });
    });
}

} // namespace dsp::requantisation
