#pragma once

// The resampler unit: the resampler, its stages and planner, and the window.
#include "dsp/PolyphaseBranchCache.hpp"
#include "dsp/PolyphaseBranches.hpp"
#include "dsp/PolyphaseKernel.hpp"
#include "dsp/PolyphaseResample.hpp"
#include "dsp/PolyphaseStage.hpp"
#include "dsp/StagePlanner.hpp"
#include "dsp/WindowFunctionBase.hpp"
#include "dsp/WindowFunction_Nuttall.hpp"
