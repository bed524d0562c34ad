#pragma once

#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseBranches.hpp"

#include <cstddef>
#include <memory>

// The branch tables of the resampler's stages, designed once per stage design
// (factors, length, cutoff and window) and shared read-only by every stage of
// that design: all channels of a file, and the files after it.
//
// Tables are found again while any stage still holds them, however large;
// besides, the cache itself keeps tables alive between files up to
// max_kept_bytes in all, so that a batch of files at the same rates designs
// each filter once without the odd huge filter staying in memory for good.
class PolyphaseBranchCache {
public:
    // The table of a stage's design: the filter of DesignStageFilter, laid
    // out as PolyphaseBranches. Safe to call from several threads; a table
    // is designed by one caller while the others wait.
    static std::shared_ptr<const PolyphaseBranches> For(const StageFilterDesign& design);
    // The designed filter's table for a stage interpolating by up and
    // decimating by down (StageFilter's shape, Nuttall window).
    static std::shared_ptr<const PolyphaseBranches> For(int up, int down);

    static constexpr std::size_t max_kept_bytes = std::size_t(16) << 20;
};
