#include "dsp/polyphase/FftBranches.hpp"

#include "dsp/polyphase/FftWisdom.hpp"

#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <map>
#include <mutex>
#include <utility>

namespace {

// The planner is not thread-safe, executing a plan is.
std::mutex& PlannerMutex() {
    static std::mutex mutex;
    return mutex;
}

// Costs relative to one tap of the direct kernel, measured on its AVX2 path
// (bench/FftStageBench.cpp): a transform of length N costs about
// transform_cost * N * log2(N), the product of a spectrum with a branch's
// product_cost * N.
constexpr double transform_cost = 3.0;
constexpr double product_cost = 1.0;
constexpr std::size_t shortest = 64;
constexpr std::size_t longest = std::size_t(1) << 17;

constexpr std::size_t max_kept_bytes = std::size_t(16) << 20;

struct Plans {
    fftw_plan forward;
    fftw_plan inverse;
    bool measured;
};

// Plans for transforms of length n (real to complex) and n / fold (back),
// between 64-byte aligned buffers: from the kept measurements when they
// hold them, else unmeasured. The planner mutex is held.
Plans PlanPair(std::size_t n, std::size_t fold, double* real, double* spectrum, unsigned flags) {
    static const bool loaded = fftw_import_wisdom_from_string(fft_wisdom) != 0;
    (void)loaded;
    const int length = static_cast<int>(n);
    auto* complex = reinterpret_cast<fftw_complex*>(spectrum);
    const auto plan = [&](unsigned how) {
        return Plans{fftw_plan_dft_r2c_1d(length, real, complex, how),
                     fftw_plan_dft_c2r_1d(length / static_cast<int>(fold), complex, real, how),
                     true};
    };
    Plans made = plan(flags);
    if (made.forward == nullptr || made.inverse == nullptr) {
        fftw_destroy_plan(made.forward); // null is a no-op
        fftw_destroy_plan(made.inverse);
        made = plan(FFTW_ESTIMATE);
        made.measured = false;
    }
    return made;
}

double TransformWork(std::size_t n) {
    return transform_cost * static_cast<double>(n) * std::log2(static_cast<double>(n));
}

} // namespace

FftBranches::FftBranches(int new_up, int down, const std::vector<double>& filter,
                         std::size_t new_length)
    : up(new_up), taps(filter.size() / static_cast<std::size_t>(new_up)), length(new_length),
      fold(FoldFor(new_up, down, new_length)) {
    const std::size_t branches = static_cast<std::size_t>(up);
    std::vector<double, AlignedAllocator<double, 64>> in(length, 0.0);
    spectra.assign(branches * Stride(), 0.0);
    {
        const std::lock_guard<std::mutex> lock(PlannerMutex());
        const Plans plans =
            PlanPair(length, fold, in.data(), spectra.data(), FFTW_MEASURE | FFTW_WISDOM_ONLY);
        forward = plans.forward;
        inverse = plans.inverse;
        measured = plans.measured;
    }
    // The scale that the direct kernel applies to its sums (up) and the one
    // that undoes the transforms' gain (1 / N).
    const double scale = static_cast<double>(up) / static_cast<double>(length);
    for (std::size_t p = 0; p < branches; ++p) {
        std::fill(in.begin(), in.end(), 0.0);
        for (std::size_t j = 0; j < taps; ++j) {
            in[j] = filter[p + j * branches] * scale;
        }
        Forward(in.data(), spectra.data() + p * Stride());
    }
}

FftBranches::~FftBranches() {
    const std::lock_guard<std::mutex> lock(PlannerMutex());
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
}

void FftBranches::Forward(double* in, double* spectrum) const {
    fftw_execute_dft_r2c(forward, in, reinterpret_cast<fftw_complex*>(spectrum));
}

void FftBranches::Inverse(double* spectrum, double* out) const {
    fftw_execute_dft_c2r(inverse, reinterpret_cast<fftw_complex*>(spectrum), out);
}

std::vector<std::size_t> FftBranches::Lengths() {
    std::vector<std::size_t> lengths;
    // Lengths with small factors, which the library transforms fastest.
    for (const std::size_t factor : {std::size_t(2), std::size_t(3), std::size_t(5)}) {
        for (std::size_t n = factor * shortest; n <= longest; n *= 2) {
            lengths.push_back(n);
        }
    }
    std::sort(lengths.begin(), lengths.end());
    return lengths;
}

FftBranches::Choice FftBranches::Choose(std::size_t taps, int up, int down, std::size_t block) {
    Choice best{0, 0.0};
    const double branches = static_cast<double>(up);
    for (const std::size_t n : Lengths()) {
        const std::size_t fold = FoldFor(up, down, n);
        const std::size_t step = Step(n, taps, fold);
        if (step == 0) {
            continue;
        }
        const std::size_t parts = (block + step - 1) / step;
        const double work =
            static_cast<double>(parts) * (TransformWork(n) + TransformWork(n / fold) * branches +
                                          product_cost * branches * static_cast<double>(n));
        if (best.length == 0 || work < best.work) {
            best = {n, work};
        }
    }
    return best;
}

std::string FftBranches::Measure(std::size_t length, std::size_t fold) {
    std::vector<double, AlignedAllocator<double, 64>> real(length);
    std::vector<double, AlignedAllocator<double, 64>> spectrum(StrideFor(length));
    const std::lock_guard<std::mutex> lock(PlannerMutex());
    const Plans plans = PlanPair(length, fold, real.data(), spectrum.data(), FFTW_MEASURE);
    fftw_destroy_plan(plans.forward);
    fftw_destroy_plan(plans.inverse);
    char* text = fftw_export_wisdom_to_string();
    std::string wisdom(text);
    fftw_free(text);
    return wisdom;
}

std::shared_ptr<const FftBranches> FftBranches::For(const StageFilterDesign& design,
                                                    std::size_t length) {
    static std::mutex mutex;
    static std::map<std::pair<StageFilterDesign, std::size_t>, std::shared_ptr<const FftBranches>>
        kept;
    static std::size_t kept_bytes = 0;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_pair(design, length);
    const auto found = kept.find(key);
    if (found != kept.end()) {
        return found->second;
    }
    auto made = std::make_shared<const FftBranches>(design.up, design.down,
                                                    DesignStageFilter(design), length);
    if (kept_bytes + made->Bytes() > max_kept_bytes) {
        // Stages holding the dropped spectra keep them.
        kept.clear();
        kept_bytes = 0;
    }
    kept.emplace(key, made);
    kept_bytes += made->Bytes();
    return made;
}
