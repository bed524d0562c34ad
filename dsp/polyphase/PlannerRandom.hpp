#pragma once

#include <cstdint>

// The designed filters' search's random numbers: the sequence the GNU C library's
// rand() gives after srand(seed) (its additive feedback generator of degree
// 31 and separation 3, seeded by a linear congruence and run 310 steps), in
// a generator of its own. The search draws millions of numbers; rand() takes
// a lock for each, which cost more than the search itself.
class PlannerRandom {
public:
    explicit PlannerRandom(unsigned seed);

    // The next value, 0 to 2^31 - 1, as rand() would give it.
    int Next() {
        const std::uint32_t value = state[front] += state[rear];
        front = front + 1 == degree ? 0 : front + 1;
        rear = rear + 1 == degree ? 0 : rear + 1;
        return static_cast<int>(value >> 1);
    }

private:
    static constexpr unsigned degree = 31;
    static constexpr unsigned separation = 3;
    std::uint32_t state[degree];
    unsigned front = separation;
    unsigned rear = 0;
};
