#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The low-pass filter of one resampling stage: a windowed sinc, designed in
// double precision and scaled so that it sums to 1. The stage restores its
// interpolation gain itself.
//
// Two families: the designed filter (a Nuttall window, the passband reaching
// 0.977 of each stage's own band edge, stored as floats) and the steep one (a
// Kaiser window, edges placed per stage by steep_filter::StageFilter so that the
// whole cascade stops at the lower Nyquist frequency of the conversion,
// stored in double precision: float coefficients would leave the polyphase
// branches' errors as noise near -153 dB of the signal).

// Which family a conversion's stages use; the values are the command line's.
enum class FilterSetting : int {
    Designed = 0,
    Steep = 1,
};

enum class FilterWindow : int {
    Nuttall,
    Kaiser,
};

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
// The cutoff alone: cutoff_factor over the larger factor.
float StageFilterCutoff(int up, int down);

// The length alone, for any factors: absurd ratios give lengths beyond int,
// which are sized and refused rather than built.
std::int64_t StageFilterLength(std::int64_t up, std::int64_t down);

// Fills h[0 .. n-1] with a sinc of relative cutoff fc centred on n/2 under a
// window of length n, rounded to float and scaled so that the stored values
// sum to 1.
void DesignFilter(float* h, int n, float fc);

// The steep family. A stage passes up to pass_edge times the lower Nyquist
// frequency F of the conversion and stops from its own stop edge on (F for
// the one steep stage, further out for the others), with `attenuation` dB
// in the stopband.
namespace steep_filter {
constexpr double attenuation = 160.0;
// Kaiser's rule for a window reaching `attenuation`.
constexpr double beta = 0.1102 * (attenuation - 8.7);
constexpr double pass_edge = 0.93;

// Kaiser's length rule for a transition `width` wide, as a fraction of the
// interpolated rate, rounded up to an even multiple of up. Saturates instead
// of overflowing for absurd widths.
std::int64_t Length(std::int64_t up, double width);

// Rates are in units of input rate / M for the ratio L/M, in which every
// stage's rates are whole numbers. With F = min(L, M) / 2, the lower Nyquist
// frequency, one stage is the steep one: its stopband starts at F. A stage
// before it may let through whatever its decimation folds no lower than F,
// since the steep stage removes that: it stops at q - F, q its output rate. A
// stage after it sees nothing above F but its own images, which start at
// r - F, r its input rate. Every stage passes up to pass_edge * F, and stops
// at most at half its interpolated rate.
enum class Role { Before, Steep, After };
// The role of stage `stage` in a cascade whose steep stage is `steep`.
Role RoleOf(std::size_t stage, std::size_t steep);

struct Stage {
    std::int64_t length; // an even multiple of up, by Length
    float cutoff;        // mid-transition, relative to half the interpolated rate
    double pass;         // the edges, as fractions of the interpolated rate
    double stop;
};
// The filter of a stage taking `rate`, interpolating by up and decimating by
// down, in the given role.
Stage StageFilter(std::int64_t rate, int up, int down, double lower_nyquist, Role role);
} // namespace steep_filter

// As DesignFilter, under a Kaiser window of shape beta (also centred on n/2),
// kept in double precision. Sinc and window may be centred `shift` samples
// later (earlier if negative), a fraction of a sample or a few, so that a
// cascade's whole delay comes to a whole number of its output samples; the
// window narrows by |shift| to fit.
void DesignKaiserFilter(double* h, int n, float fc, double beta, double shift = 0.0);

// Everything that decides one stage's branch table: equal designs give equal
// tables, different ones never share.
struct StageFilterDesign {
    int up;
    int down;
    std::int64_t length;
    float cutoff; // relative to half the interpolated rate
    FilterWindow window;
    double stop;        // Kaiser only (else 0): the stop edge, a fraction of the interpolated rate
    double shift = 0.0; // Kaiser only: the centre's offset from n/2, in taps
};
bool operator<(const StageFilterDesign& a, const StageFilterDesign& b);
bool operator==(const StageFilterDesign& a, const StageFilterDesign& b);

// The coefficients of a design (its length must fit in int), as stored:
// floats for the designed filters.
std::vector<double> DesignStageFilter(const StageFilterDesign& design);
