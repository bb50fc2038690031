#include "colouring.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace kvgimport {

std::vector<uint32_t> colourGraph(const std::vector<std::vector<uint32_t>> &neighbours) {
    constexpr uint32_t NONE = UINT32_MAX;
    const size_t n = neighbours.size();
    std::vector<uint32_t> colour(n, NONE);
    std::vector<std::set<uint32_t>> seen(n);  // the colours next to each vertex
    std::vector<size_t> degree(n);
    for (size_t v = 0; v < n; ++v) {
        std::vector<uint32_t> distinct = neighbours[v];
        std::ranges::sort(distinct);
        degree[v] = static_cast<size_t>(std::unique(distinct.begin(), distinct.end()) - distinct.begin());
    }
    // Ordered by saturation, then degree, both descending; then by vertex, ascending.
    using Rank = std::tuple<size_t, size_t, uint32_t>;
    const auto rank = [&](uint32_t v) { return Rank{seen[v].size(), degree[v], UINT32_MAX - v}; };
    std::set<Rank> queue;
    for (uint32_t v = 0; v < n; ++v) queue.insert(rank(v));
    while (!queue.empty()) {
        const uint32_t v = UINT32_MAX - std::get<2>(*queue.rbegin());
        queue.erase(std::prev(queue.end()));
        uint32_t c = 0;
        while (seen[v].contains(c)) ++c;
        colour[v] = c;
        for (const uint32_t w : neighbours[v]) {
            if (colour[w] != NONE || seen[w].contains(c)) continue;
            queue.erase(rank(w));
            seen[w].insert(c);
            queue.insert(rank(w));
        }
    }
    return colour;
}

}  // namespace kvgimport
