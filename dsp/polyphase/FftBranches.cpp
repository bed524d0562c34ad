#include "dsp/polyphase/FftBranches.hpp"

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
        const int n = static_cast<int>(length);
        auto* complex = reinterpret_cast<fftw_complex*>(spectra.data());
        forward = fftw_plan_dft_r2c_1d(n, in.data(), complex, FFTW_ESTIMATE);
        inverse =
            fftw_plan_dft_c2r_1d(n / static_cast<int>(fold), complex, in.data(), FFTW_ESTIMATE);
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

FftBranches::Choice FftBranches::Choose(std::size_t taps, int up, int down, std::size_t block) {
    Choice best{0, 0.0};
    const double branches = static_cast<double>(up);
    // Lengths with small factors, which the library transforms fastest.
    for (const std::size_t factor : {std::size_t(2), std::size_t(3), std::size_t(5)}) {
        for (std::size_t n = factor * shortest; n <= longest; n *= 2) {
            const std::size_t fold = FoldFor(up, down, n);
            const std::size_t step = Step(n, taps, fold);
            if (step == 0) {
                continue;
            }
            const std::size_t parts = (block + step - 1) / step;
            const double work = static_cast<double>(parts) *
                                (TransformWork(n) + TransformWork(n / fold) * branches +
                                 product_cost * branches * static_cast<double>(n));
            if (best.length == 0 || work < best.work) {
                best = {n, work};
            }
        }
    }
    return best;
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
