#pragma once

#include <cstdint>

// The low-pass filter of one resampling stage: a sinc under a Nuttall window,
// designed in double precision and stored as floats that sum to 1. The stage
// restores its interpolation gain itself.

// Relative cutoff numerator: the passband reaches 0.977 of half the lower of
// a stage's input and output rates.
constexpr float cutoff_factor = 0.977f;

// Length and relative cutoff (to half the interpolated rate) of the filter of
// a stage interpolating by `up` and decimating by `down`.
struct StageFilterShape {
    int length;
    float cutoff;
};
StageFilterShape StageFilter(int up, int down);

// The length alone, for any factors: absurd ratios give lengths beyond int,
// which are sized and refused rather than built.
std::int64_t StageFilterLength(std::int64_t up, std::int64_t down);

// Fills h[0 .. n-1] with a sinc of relative cutoff fc centred on n/2 under a
// window of length n, rounded to float and scaled so that the stored values
// sum to 1.
void DesignFilter(float* h, int n, float fc);
