// The process-wide cache of resample plans, and the policy that makes them:
// which search a filter setting uses, how it is seeded, and the single stage
// of last resort.
#include "dsp/polyphase/DesignedSearch.hpp"
#include "dsp/polyphase/ResamplePlan.hpp"
#include "dsp/polyphase/SteepSearch.hpp"

#include <ctime>
#include <map>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace {

// A handful of rate pairs per run is normal; the bound only keeps a
// pathological caller from growing the cache without limit.
constexpr std::size_t max_cached_plans = 256;

std::string Rates(int input_rate, int output_rate) {
    return "cannot resample " + std::to_string(input_rate) + " Hz to " +
           std::to_string(output_rate) + " Hz: ";
}

struct Cached {
    std::shared_ptr<const ResamplePlan> plan;
    std::string refusal; // when plan is null
};

// The searched cascade: for the designed filters seeded from the calendar
// clock in whole seconds, for the steep ones among stages that fit the limits
// on their own. Null when the search finds nothing.
std::shared_ptr<const ResamplePlan> Search(std::int64_t up_factor, std::int64_t down_factor,
                                           FilterSetting setting) {
    if (setting == FilterSetting::Steep) {
        auto fits = [up_factor, down_factor](std::int64_t rate, int up, int,
                                             const steep_filter::Stage& filter) {
            return ResamplePlan::StageFits(filter.length, up, rate, up_factor, down_factor);
        };
        const SteepSearch::Plan factors = SteepSearch::PlanStages(up_factor, down_factor, fits);
        return factors.up.empty()
                   ? nullptr
                   : std::make_shared<const ResamplePlan>(up_factor, down_factor, factors.up,
                                                          factors.down, FilterSetting::Steep,
                                                          factors.steep);
    }
    PlannerRandom random(static_cast<unsigned>(std::time(nullptr)));
    const DesignedSearch::Plan factors = DesignedSearch::PlanStages(up_factor, down_factor, random);
    return factors.up.empty() ? nullptr
                              : std::make_shared<const ResamplePlan>(up_factor, down_factor,
                                                                     factors.up, factors.down);
}

// The plan for L/M, or the reason none fits. Callers hold the cache's lock.
Cached Make(std::int64_t up_factor, std::int64_t down_factor, FilterSetting setting) {
    // Ratios whose blocks alone are too large are refused before the search,
    // which is slow on them.
    std::string reason = ResamplePlan::BlocksReason(up_factor, down_factor, setting);
    if (!reason.empty()) {
        return {nullptr, reason};
    }
    const auto plan = Search(up_factor, down_factor, setting);
    if (plan && plan->UnfitReason().empty()) {
        return {plan, {}};
    }
    // The plan of last resort: no search found one, or the searched cascade's
    // intermediate blocks are too large (an odd ratio such as 44101/44100
    // would need 2 GB) while one stage fits.
    auto single = std::make_shared<const ResamplePlan>(
        up_factor, down_factor, std::vector<int>{static_cast<int>(up_factor)},
        std::vector<int>{static_cast<int>(down_factor)}, setting);
    reason = single->UnfitReason();
    if (!reason.empty()) {
        return {nullptr, reason};
    }
    return {single, {}};
}

} // namespace

std::shared_ptr<const ResamplePlan> ResamplePlan::Find(int input_rate, int output_rate,
                                                       std::string& reason, FilterSetting setting) {
    if (input_rate <= 0 || output_rate <= 0) {
        reason = Rates(input_rate, output_rate) + "sampling rates must be positive";
        return nullptr;
    }
    // L and M straight from the gcd: the common rate itself can exceed int.
    const std::int64_t g = std::gcd(input_rate, output_rate);
    const std::int64_t up = output_rate / g;
    const std::int64_t down = input_rate / g;
    if (up == down) {
        static const auto copy =
            std::make_shared<const ResamplePlan>(1, 1, std::vector<int>{}, std::vector<int>{});
        return copy;
    }

    static std::mutex mutex;
    static std::map<std::tuple<std::int64_t, std::int64_t, FilterSetting>, Cached> cache;
    // One search per ratio: files converted at once that ask for the same
    // ratio wait for the first one's plan instead of searching again.
    const std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_tuple(up, down, setting);
    auto found = cache.find(key);
    if (found == cache.end()) {
        if (cache.size() >= max_cached_plans) {
            cache.clear();
        }
        found = cache.emplace(key, Make(up, down, setting)).first;
    }
    if (!found->second.plan) {
        reason = Rates(input_rate, output_rate) + found->second.refusal;
    }
    return found->second.plan;
}

std::shared_ptr<const ResamplePlan> ResamplePlan::For(int input_rate, int output_rate,
                                                      FilterSetting setting) {
    std::string reason;
    auto plan = Find(input_rate, output_rate, reason, setting);
    if (!plan) {
        if (input_rate <= 0 || output_rate <= 0) {
            throw std::invalid_argument(reason);
        }
        throw std::length_error(reason);
    }
    return plan;
}
