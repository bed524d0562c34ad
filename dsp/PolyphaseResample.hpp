#pragma once

#include "dsp/PolyphaseKernel.hpp"
#include "dsp/PolyphaseStage.hpp"
#include "dsp/StagePlanner.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Converts one channel of 32-bit integer samples from one sampling rate to
// another by the reduced ratio L/M, through a cascade of polyphase stages
// (see StagePlanner and PolyphaseStage).
//
// Samples travel through the cascade as floats scaled by 2^-16. The first
// `skip` outputs of the cascade (its latency, in whole output samples) are
// dropped, and a stream of I input samples gives exactly ceil(I * L / M)
// output samples, counted in integers.
//
// Usage: call Process until every input sample is taken (it may take fewer
// than offered and write fewer than there is room for), then Flush until it
// writes nothing. At equal rates the samples are copied unchanged.
//
// Instances share only the planner's cache and the stages' read-only
// branch tables (PolyphaseBranchCache): one resampler per thread is safe.
class PolyphaseResample {
public:
    // Throws std::invalid_argument when a rate is zero or negative, and
    // std::length_error, naming the rates and the reason, when no stage plan
    // for the pair fits the memory limits (see PlanStages; Accepts asks the
    // same question beforehand). The path chooses the stage kernels; all
    // give the same samples.
    PolyphaseResample(int input_rate, int output_rate,
                      PolyphaseKernel::Path path = PolyphaseKernel::Path::Automatic);

    // Whether a resampler for the pair can be built. When not, and `reason`
    // is given, it receives the message the constructor would throw (or
    // that the rates must be positive). Runs the stage planning, whose
    // result the constructor then finds in the planner's cache.
    static bool Accepts(int input_rate, int output_rate, std::string* reason = nullptr);

    // Each resampler's own memory is at most max_state_bytes (stage buffers
    // and output block); the branch tables of one rate pair, shared by all
    // its resamplers, at most max_table_bytes.
    static constexpr std::size_t max_state_bytes = std::size_t(32) << 20;
    static constexpr std::size_t max_table_bytes = std::size_t(256) << 20;

    // The stages for a pair of different positive rates: the planner's
    // cascade (StagePlanner::PlanFor) when it fits the limits, else the
    // single stage L/M when that fits (an odd ratio can make the planner's
    // intermediate blocks huge: 44100 -> 44101 would need 2 GB). Throws
    // std::length_error when neither fits.
    static StagePlanner::Plan PlanStages(int input_rate, int output_rate);

    // The memory of a plan for L/M, worked out without building it.
    struct Footprint {
        double state_bytes; // each resampler's, as StateBytes() will say
        double table_bytes; // the branch tables, shared
    };
    static Footprint FootprintOf(const StagePlanner::Plan& plan, std::int64_t up_factor,
                                 std::int64_t down_factor);

    // This resampler's own memory in bytes: stage buffers with their
    // histories, and the output block; not the shared branch tables.
    std::size_t StateBytes() const;

    // On entry in_count is the number of samples at `in` and out_count the
    // room at `out`; on return they are the samples taken and written. A
    // null `in` flushes: zeros complete the block and the delivery stops at
    // the samples still owed. At equal rates all in_count samples are
    // copied whatever out_count says, so the caller gives room for them.
    bool Process(const int* in, int* out, unsigned& in_count, unsigned& out_count);

    // Delivers the tail, at most out_count samples; out_count is set to the
    // number written. Given room, it writes 0 only once nothing is owed any
    // more (with no room it writes nothing and owes the same).
    bool Flush(int* out, unsigned& out_count);

    // Output samples per input sample, L / M (1.0 at equal rates).
    double Ratio() const { return ratio; }

    // Designs one stage's low-pass filter: a sinc with relative cutoff fc
    // centred on n/2 under a window of length n, rounded to float and
    // scaled so that the stored coefficients sum to 1.
    static void DesignFilter(float* h, int n, float fc);

    // Filter length and relative cutoff for a stage interpolating by up and
    // decimating by down.
    struct FilterShape {
        int length;
        float cutoff;
    };
    static FilterShape StageFilterShape(int up, int down);
    // The length alone, for any factors: it can exceed int.
    static std::int64_t StageFilterLength(std::int64_t up, std::int64_t down);

    // Converts an output value (scaled by 2^-16) back to an integer sample,
    // truncating toward zero and saturating.
    static int ToInteger(float value);

    // Read-only views for tests and diagnostics.
    bool Active() const { return active; }
    std::int64_t UpFactor() const { return up_factor; }
    std::int64_t DownFactor() const { return down_factor; }
    int StageCount() const { return active ? static_cast<int>(stages.size()) : -1; }
    const PolyphaseStage& Stage(int i) const { return stages[static_cast<std::size_t>(i)]; }
    std::size_t InputBlockLength() const { return active ? stages.front().BlockLength() : 0; }
    std::size_t OutputBlockLength() const { return output.size(); }
    // Output samples still to be dropped before the first one is delivered.
    std::size_t Skip() const { return skip; }
    // Output samples still owed for the input taken so far.
    std::uint64_t Owed() const;

    static constexpr float cutoff_factor = 0.977f;

private:
    void RunCascade();

    int input_rate;
    int output_rate;
    std::int64_t up_factor = 1;
    std::int64_t down_factor = 1;
    double ratio = 1.0;
    bool active = false;

    std::vector<PolyphaseStage> stages;
    std::size_t input_fill = 0; // samples in stage 0's current block
    std::size_t skip = 0;

    std::vector<double> output;  // the last stage's block
    std::size_t output_fill = 0; // samples of it not yet delivered
    std::size_t output_read = 0;

    std::uint64_t taken = 0;     // input samples taken (not counting flush zeros)
    std::uint64_t delivered = 0; // output samples written
};
