// Rkprint's choice of its way of reading, on simulated window times: each
// window takes the cost of its way in the host's current state, times a
// random factor of a busy machine.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../../tools/Rkprint/pace.h"

namespace {

struct State {
    double alone, with_reader;  // seconds a batch
    int32_t windows;
};

// The windows spent on the slower way in each state, of its second half
// (the first gives the choice the time to find the faster way).
std::vector<double> slow_shares(const std::vector<State>& states, double noise, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> factor(1 - noise, 1 + noise);
    PaceChoice choice;
    bool with_reader = true;
    std::vector<double> shares;
    for (const State& s : states) {
        int32_t slow = 0;
        for (int32_t w = 0; w < s.windows; ++w) {
            double cost = with_reader ? s.with_reader : s.alone;
            if (w >= s.windows / 2 && cost > std::min(s.alone, s.with_reader)) ++slow;
            with_reader = choice.window_done(with_reader, cost * factor(random));
        }
        shares.push_back(double(slow) / (s.windows - s.windows / 2));
    }
    return shares;
}

TEST(Pace, KeepsToTheFasterWayAndFollowsTheHost) {
    // Each row: the host's states in turn; a way a third or more slower than
    // the other must get few windows once the choice has settled, whatever
    // the order of the states and the noise of the windows.
    const std::vector<std::vector<State>> runs = {
        {{1.0, 1.5, 400}},
        {{1.5, 1.0, 400}},
        {{1.0, 2.0, 300}, {2.0, 1.0, 300}, {1.0, 1.4, 300}},
        {{1.4, 1.0, 300}, {1.0, 1.35, 600}, {3.0, 1.0, 300}},
    };
    for (size_t r = 0; r < runs.size(); ++r) {
        for (double noise : {0.0, 0.1, 0.25}) {
            double worst = 0;
            for (unsigned seed = 1; seed <= 200; ++seed)
                for (double share : slow_shares(runs[r], noise, seed)) worst = std::max(worst, share);
            EXPECT_LE(worst, 0.12) << "run " << r << ", noise " << noise;
        }
    }
}

}  // namespace
