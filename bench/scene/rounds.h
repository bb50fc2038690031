// Timing in rounds: every contender runs once per round, so that ratios between two contenders
// can be taken round by round, under the same conditions of the machine.
#ifndef KVG_SCENE_ROUNDS_H
#define KVG_SCENE_ROUNDS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace scene {

struct Contender {
    std::string name;
    std::function<uint64_t()> run;  // does the work once; returns the bytes it produced
};

struct Timings {
    std::vector<std::vector<double>> seconds;  // [contender][round], processor time
    std::vector<uint64_t> bytes;               // of each contender's last run
};

// The processor time of the whole process, user and system: on an idle machine the same as
// the wall-clock time of these single-threaded runs, and far steadier on a busy one.
double processSeconds();

// Each round starts one contender further on, so that none always runs after the same one.
Timings runRounds(const std::vector<Contender> &contenders, int rounds);

double median(std::vector<double> values);
// The median over the rounds of numerator[r] / denominator[r].
double medianRatio(const std::vector<double> &numerator, const std::vector<double> &denominator);

}  // namespace scene

#endif  // KVG_SCENE_ROUNDS_H
