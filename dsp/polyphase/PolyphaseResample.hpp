#pragma once

#include "dsp/polyphase/PolyphaseKernel.hpp"
#include "dsp/polyphase/PolyphaseStage.hpp"
#include "dsp/polyphase/ResamplePlan.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Converts one channel from one sampling rate to another by the reduced
// ratio L/M, streaming through the cascade of polyphase stages that its
// ResamplePlan lays out.
//
// Samples travel through the cascade as float values (integer samples scaled
// by 2^-16, see ResampleScale), or as doubles when the plan is Precise(). The
// plan's Skip() first outputs (the latency) are dropped, and a stream of I
// input samples gives exactly plan.OutputLength(I) output samples.
//
// Usage: call Process until every input sample is taken (it may take fewer
// than offered and write fewer than there is room for), then Flush until it
// writes nothing. At equal rates the samples are copied unchanged.
//
// Instances share only the read-only plan and branch tables: one resampler
// per thread is safe.
class PolyphaseResample {
public:
    // Throws std::invalid_argument when a rate is zero or negative, and
    // std::length_error, naming the rates and the reason, when no plan fits
    // the memory limits (ResamplePlan::Find asks the same beforehand). The
    // path chooses the stage kernels; all give the same samples.
    PolyphaseResample(int input_rate, int output_rate,
                      PolyphaseKernel::Path path = PolyphaseKernel::Path::Automatic);
    explicit PolyphaseResample(std::shared_ptr<const ResamplePlan> plan,
                               PolyphaseKernel::Path path = PolyphaseKernel::Path::Automatic);

    // On entry in_count is the number of samples at `in` and out_count the
    // room at `out`; on return they are the samples taken and written. A
    // null `in` flushes: zeros complete the block and the delivery stops at
    // the samples still owed. At equal rates all in_count samples are
    // copied whatever out_count says, so the caller gives room for them.
    bool Process(const int* in, int* out, unsigned& in_count, unsigned& out_count);
    // The same for values in the cascade's own scale (see ResampleScale),
    // for samples that are not integers: each input value is rounded to
    // float as it enters (unless the plan is Precise()), and outputs are
    // delivered as the cascade holds them. At equal rates they are copied
    // unrounded.
    bool Process(const double* in, double* out, unsigned& in_count, unsigned& out_count);

    // Delivers the tail, at most out_count samples; out_count is set to the
    // number written. Given room, it writes 0 only once nothing is owed any
    // more (with no room it writes nothing and owes the same).
    bool Flush(int* out, unsigned& out_count);
    bool Flush(double* out, unsigned& out_count);

    // Back to the state after construction, as for a new stream.
    void Reset();

    // Output samples per input sample, L / M (1.0 at equal rates).
    double Ratio() const { return plan->Ratio(); }
    const ResamplePlan& Plan() const { return *plan; }
    // This resampler's stages, for tests that read their branch tables.
    const PolyphaseStage& Stage(std::size_t i) const { return stages[i]; }

    // Output samples still to be dropped before the first one is delivered.
    std::size_t Skip() const { return skip; }
    // Bytes this resampler holds: stage buffers and output block, not the
    // shared tables. The plan predicts it.
    std::size_t StateBytes() const;
    // Output samples still owed for the input taken so far.
    std::uint64_t Owed() const { return plan->OutputLength(taken) - delivered; }

private:
    template <class Sample>
    bool Stream(const Sample* in, Sample* out, unsigned& in_count, unsigned& out_count);
    template <class Sample>
    bool Drain(Sample* out, unsigned& out_count);
    void RunCascade();

    std::shared_ptr<const ResamplePlan> plan;
    std::vector<PolyphaseStage> stages;
    std::size_t input_fill = 0; // samples in stage 0's current block
    std::size_t skip = 0;

    std::vector<double> output;  // the last stage's block
    std::size_t output_fill = 0; // samples of it not yet delivered
    std::size_t output_read = 0;

    std::uint64_t taken = 0;     // input samples taken (not counting flush zeros)
    std::uint64_t delivered = 0; // output samples written
};
