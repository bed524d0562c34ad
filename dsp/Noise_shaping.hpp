#pragma once

#include <array>

// Coefficient tables of the noise-shaping filters, indexed by the
// `noise_shaping` setting. The filter subtracts sum c[k] * e[n-1-k] from the
// signal, so the requantisation noise is shaped by 1 - sum c[k] * z^-(k+1).
namespace dsp::noise_shaping {

// Setting 0 (and any unknown value): one zero tap, the noise stays white.
extern const std::array<double, 1> table_0;

// Setting 1: two taps, noise transfer 1 + 2z^-1 - z^-2.
extern const std::array<double, 2> table_1;

// Setting 2: three taps, noise transfer 1 - 1.623z^-1 + 0.982z^-2 - 0.109z^-3,
// a gentle lift of the noise toward the top of the band.
extern const std::array<double, 3> table_2;

// Setting 3: nine taps that push the noise out of the ear's most sensitive
// region (roughly 1 to 5 kHz at 44.1 kHz) into the highest frequencies.
extern const std::array<double, 9> table_3;

} // namespace dsp::noise_shaping
