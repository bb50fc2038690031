#include "rounds.h"

#include <time.h>

#include <algorithm>

namespace scene {

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Timings runRounds(const std::vector<Contender> &contenders, int rounds) {
    const size_t n = contenders.size();
    Timings t{std::vector<std::vector<double>>(n), std::vector<uint64_t>(n)};
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < n; ++k) {
            const size_t c = (k + static_cast<size_t>(round)) % n;
            const double start = processSeconds();
            t.bytes[c] = contenders[c].run();
            t.seconds[c].push_back(processSeconds() - start);
        }
    }
    return t;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double medianRatio(const std::vector<double> &numerator, const std::vector<double> &denominator) {
    std::vector<double> ratios(numerator.size());
    for (size_t r = 0; r < ratios.size(); ++r) ratios[r] = numerator[r] / denominator[r];
    return median(ratios);
}

}  // namespace scene
