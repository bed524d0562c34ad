#pragma once

#include "dsp/polyphase/FilterDesign.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Everything about converting one pair of sampling rates that does not change
// while samples flow: the reduced ratio L/M, the cascade of stages with their
// factors, filter lengths and block sizes, the latency to drop, the memory a
// resampler and the shared filter tables take, and the exact output length.
// Made once per ratio and shared read-only by every resampler, and by the
// conversion that sizes its buffers and its progress from it.
//
// Each stage takes blocks of `block_length` samples and produces
// `output_length` = block_length * up / down; stage 0 takes M * r input
// samples with r = max(2048 / max(L, M), 1), so that every block divides
// exactly.
//
// The filter setting chooses the stages' filters and, with them, the search
// for the cascade (DesignedSearch or SteepSearch): the designed filters, or
// the steep ones that stop at the lower Nyquist frequency of the conversion.
class ResamplePlan {
public:
    struct Stage {
        int up;
        int down;
        std::int64_t length; // filter length n, a multiple of up
        float cutoff;        // relative to half the interpolated rate
        std::size_t taps;    // n / up: taps per polyphase branch
        std::size_t block_length;
        std::size_t output_length;
        FilterWindow window;
        // Steep stages only (0 otherwise): the pass and stop edges as
        // fractions of the interpolated rate.
        double pass;
        double stop;
        // The steep stage only (0 otherwise): how far its filter's centre
        // lies past n/2, in samples at its interpolated rate, so that the
        // cascade's delay is a whole number of output samples (see Skip).
        double shift;
        // Steep stages whose dot products are cheaper by fast convolution:
        // the transform length (0: direct).
        std::size_t fft_length;

        StageFilterDesign Design() const { return {up, down, length, cutoff, window, stop, shift}; }
    };

    // Each resampler's own buffers are at most this many bytes, and the
    // branch tables of one ratio, shared by all its resamplers, at most
    // max_table_bytes.
    static constexpr std::size_t max_state_bytes = std::size_t(32) << 20;
    static constexpr std::size_t max_table_bytes = std::size_t(256) << 20;

    // The plan for converting input_rate to output_rate with the given
    // filters, from the process-wide cache (PlanCache.cpp). Equal rates give a plan with no stages
    // (a copy) whatever the setting. For different rates the designed filters' stages come from
    // DesignedSearch::PlanStages, with the planner's generator reseeded from the calendar clock,
    // the first time a ratio is asked for; the steep filters' from SteepSearch::PlanStages, which
    // draws nothing, among stages whose own filter and buffers fit the limits. When that cascade
    // exceeds the memory limits the single stage L/M is used, when that fits. Returns null, with
    // `reason` naming the rates and the limit, when nothing fits or a rate is not positive. Safe to
    // call from several threads.
    static std::shared_ptr<const ResamplePlan>
    Find(int input_rate, int output_rate, std::string& reason,
         FilterSetting setting = FilterSetting::Designed);
    // As Find, but throws std::invalid_argument for rates that are not
    // positive and std::length_error, with the reason, for plans that do not
    // fit.
    static std::shared_ptr<const ResamplePlan> For(int input_rate, int output_rate,
                                                   FilterSetting setting = FilterSetting::Designed);

    // The layout of the plan for given stage factors, whatever the limits
    // say: geometry, filters, latency, priming and memory. The lists may differ in length: the
    // shorter one counts as padded with ones. With the steep setting, stage `steep_stage` is the
    // one whose stopband starts at the lower Nyquist frequency.
    ResamplePlan(std::int64_t up_factor, std::int64_t down_factor, const std::vector<int>& up,
                 const std::vector<int>& down, FilterSetting setting = FilterSetting::Designed,
                 std::size_t steep_stage = 0);

    // Whether the rates differ; at equal rates samples are only copied.
    bool Resamples() const { return !stages.empty(); }
    std::int64_t UpFactor() const { return up_factor; }
    std::int64_t DownFactor() const { return down_factor; }
    // L / M: output samples per input sample.
    double Ratio() const { return ratio; }
    const std::vector<Stage>& Stages() const { return stages; }
    FilterSetting Setting() const { return setting; }
    // The planner's estimate of the work: DesignedSearch::Cost for the
    // designed filters, SteepSearch::Cost (rounded) for the steep ones.
    std::int64_t Cost() const { return cost; }

    // Output samples of the cascade that come before the first one aligned
    // with the input: the latency, dropped. The designed filters' latency is
    // dropped in whole samples, so their output is late by its fraction of a
    // sample; the steep stage's filter is shifted to make the latency whole,
    // so the steep filters' output sample k is the input at time k / rate.
    std::size_t Skip() const { return skip; }
    // Whether values stay in double precision between stages (the steep
    // filters) or are rounded to float at every stage's output (the
    // designed ones, whose output is fixed sample for sample).
    bool Precise() const { return setting == FilterSetting::Steep; }
    std::size_t InputBlockLength() const {
        return stages.empty() ? 0 : stages.front().block_length;
    }
    std::size_t OutputBlockLength() const { return output_block_length; }

    // Bytes each resampler of this plan holds (stage buffers with their
    // histories, the output block), and the bytes of the filter tables all
    // of them share. They saturate rather than wrap for absurd plans.
    std::uint64_t StateBytes() const { return state_bytes; }
    std::uint64_t TableBytes() const { return table_bytes; }
    // Why the plan exceeds the memory limits; empty when it fits.
    std::string UnfitReason() const;
    // Why every plan of L/M exceeds the limits by its input and output blocks
    // alone; empty when they fit.
    static std::string BlocksReason(std::int64_t up_factor, std::int64_t down_factor,
                                    FilterSetting setting);
    // Whether a stage with a filter of `length` taps, taking `rate` (in units
    // of input rate / M) and interpolating by `up`, fits the limits on its own
    // with the steep filter's blocks.
    static bool StageFits(std::int64_t length, int up, std::int64_t rate, std::int64_t up_factor,
                          std::int64_t down_factor);

    // Output samples for `input` input samples: ceil(input * L / M), exact.
    std::uint64_t OutputLength(std::uint64_t input) const;

    // A stream can be resampled in pieces that start at multiples of
    // InputBlockLength(): a fresh resampler fed the PrimingLength() input
    // samples before such a start (fewer at the start of the stream) holds
    // the same state as one that took the whole stream so far, so that from
    // then on it delivers the same samples. The samples it delivers for the
    // priming itself, all but the first Skip() of the primed blocks' output,
    // are dropped. A multiple of InputBlockLength(); 0 at equal rates.
    std::size_t PrimingLength() const { return priming_length; }

private:
    std::int64_t up_factor;
    std::int64_t down_factor;
    double ratio;
    FilterSetting setting;
    std::vector<Stage> stages;
    std::int64_t cost = 0;
    std::size_t skip = 0;
    std::size_t output_block_length = 0;
    std::uint64_t state_bytes = 0;
    std::uint64_t table_bytes = 0;
    std::size_t priming_length = 0;
};
