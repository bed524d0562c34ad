#pragma once

#include <vector>

// A cascade's factors as a stage search finds them: stage i interpolates by
// up[i] and decimates by down[i]; both lists are empty when it found none.
struct StageFactors {
    std::vector<int> up;
    std::vector<int> down;
};
