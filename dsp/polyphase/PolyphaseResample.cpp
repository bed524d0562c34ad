#include "dsp/polyphase/PolyphaseResample.hpp"

#include "dsp/polyphase/FftBranches.hpp"
#include "dsp/polyphase/PolyphaseBranchCache.hpp"
#include "dsp/polyphase/ResampleScale.hpp"

#include <algorithm>
#include <utility>

PolyphaseResample::PolyphaseResample(int input_rate, int output_rate, PolyphaseKernel::Path path)
    : PolyphaseResample(ResamplePlan::For(input_rate, output_rate), path) {}

PolyphaseResample::PolyphaseResample(std::shared_ptr<const ResamplePlan> new_plan,
                                     PolyphaseKernel::Path path)
    : plan(std::move(new_plan)), skip(plan->Skip()) {
    stages.reserve(plan->Stages().size());
    for (const ResamplePlan::Stage& stage : plan->Stages()) {
        stages.emplace_back(
            stage.down, stage.block_length, PolyphaseBranchCache::For(stage.Design()), path,
            !plan->Precise(),
            stage.fft_length == 0 ? nullptr : FftBranches::For(stage.Design(), stage.fft_length));
    }
    output.assign(plan->OutputBlockLength(), 0.0);
}

void PolyphaseResample::Reset() {
    for (PolyphaseStage& stage : stages) {
        stage.Reset();
    }
    input_fill = 0;
    skip = plan->Skip();
    output_fill = 0;
    output_read = 0;
    taken = 0;
    delivered = 0;
}

std::size_t PolyphaseResample::StateBytes() const {
    std::size_t bytes = output.size() * sizeof(double);
    for (const PolyphaseStage& stage : stages) {
        bytes += stage.StateBytes();
    }
    return bytes;
}

void PolyphaseResample::RunCascade() {
    for (std::size_t i = 0; i < stages.size(); ++i) {
        double* next = i + 1 < stages.size() ? stages[i + 1].Block() : output.data();
        stages[i].Filter(next);
    }
}

namespace {

// The two kinds of samples a resampler streams, in and out of the cascade:
// rounded to float as they enter, unless the cascade keeps double precision.
double Enter(int x, bool precise) {
    return precise ? x * resample_scale::input_scale : resample_scale::FromInteger(x);
}
double Enter(double value, bool precise) {
    return precise ? value : resample_scale::ToCascade(value);
}
void Leave(double value, int& out) {
    out = resample_scale::ToInteger(static_cast<float>(value));
}
void Leave(double value, double& out) {
    out = value;
}

} // namespace

bool PolyphaseResample::Process(const int* in, int* out, unsigned& in_count, unsigned& out_count) {
    return Stream(in, out, in_count, out_count);
}

bool PolyphaseResample::Process(const double* in, double* out, unsigned& in_count,
                                unsigned& out_count) {
    return Stream(in, out, in_count, out_count);
}

bool PolyphaseResample::Flush(int* out, unsigned& out_count) {
    return Drain(out, out_count);
}

bool PolyphaseResample::Flush(double* out, unsigned& out_count) {
    return Drain(out, out_count);
}

template <class Sample>
bool PolyphaseResample::Stream(const Sample* in, Sample* out, unsigned& in_count,
                               unsigned& out_count) {
    const bool flushing = in == nullptr;
    if (stages.empty()) {
        if (flushing) {
            in_count = 0;
        } else {
            std::copy(in, in + in_count, out);
        }
        out_count = in_count;
        return true;
    }

    PolyphaseStage& first = stages.front();
    const std::size_t room = first.BlockLength() - input_fill;
    std::size_t n = in_count;
    if (n > room || flushing) {
        n = room;
        in_count = static_cast<unsigned>(room);
    }
    if (n > 0) {
        double* block = first.Block() + input_fill;
        if (flushing) {
            std::fill(block, block + n, 0.0);
        } else {
            const bool precise = plan->Precise();
            for (std::size_t i = 0; i < n; ++i) {
                block[i] = Enter(in[i], precise);
            }
            taken += n;
        }
        input_fill += n;
    }

    // The cascade waits until the previous output block is fully delivered.
    if (input_fill == first.BlockLength() && output_fill == 0) {
        RunCascade();
        input_fill = 0;
        output_fill = output.size();
        output_read = 0;
    }

    // Deliver past the samples still to skip, never more than there is room
    // for and, while flushing, never past what the input calls for.
    std::size_t avail = output_fill;
    if (flushing) {
        const std::uint64_t owed = Owed();
        if (skip + owed < avail) {
            avail = skip + static_cast<std::size_t>(owed);
        }
    }
    if (static_cast<std::size_t>(out_count) + skip < avail) {
        avail = out_count + skip;
    }
    std::size_t written = 0;
    for (std::size_t i = skip; i < avail; ++i) {
        Leave(output[output_read + i], out[written++]);
    }
    skip -= avail - written;
    delivered += written;
    output_read += avail;
    output_fill -= avail;
    if (output_fill == 0) {
        output_read = 0;
    }
    out_count = static_cast<unsigned>(written);
    return true;
}

template <class Sample>
bool PolyphaseResample::Drain(Sample* out, unsigned& out_count) {
    if (stages.empty() || out_count == 0) {
        out_count = 0;
        return true;
    }
    // Zero blocks go on until something is delivered or nothing is owed, so
    // that a pass writing nothing really means the end.
    const unsigned room = out_count;
    for (;;) {
        unsigned in_count = 0;
        out_count = room;
        Stream(static_cast<const Sample*>(nullptr), out, in_count, out_count);
        if (out_count > 0 || Owed() == 0) {
            return true;
        }
    }
}
