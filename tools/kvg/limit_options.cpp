// The reader's limits on the command line: --max-points, --max-bytes, --max-memory.
#include <charconv>

#include "command.h"

namespace kvgtool {

namespace {

struct LimitOption {
    const char *name;
    uint64_t kvgr::impl::Limits::*field;
};

constexpr LimitOption LIMIT_OPTIONS[] = {
    {"--max-points", &kvgr::impl::Limits::points},
    {"--max-bytes", &kvgr::impl::Limits::contentBytes},
    {"--max-memory", &kvgr::impl::Limits::memory},
};

// A whole number above 0, with K, M or G for 2^10, 2^20 or 2^30; nothing otherwise.
std::optional<uint64_t> wholeCount(const std::string &text) {
    uint64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || value == 0 || end - rest > 1) return std::nullopt;
    if (rest == end) return value;
    const int shift = *rest == 'K' ? 10 : *rest == 'M' ? 20 : *rest == 'G' ? 30 : 0;
    if (shift == 0 || value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

}  // namespace

const char *const LIMIT_OPTIONS_HELP =
    "LIMITS, the reader's limits (N a whole number, or with K, M or G for 2^10, 2^20, 2^30):\n"
    "  --max-points N  points decoded in the whole file (default 268435456)\n"
    "  --max-bytes N   bytes of content, decompressed (default 1G)\n"
    "  --max-memory N  bytes the reader holds at once (default 1G)\n"
    "A file that needs more is refused with a message naming the limit (exit 1).\n";

bool countOption(const Command &command, const Options &options, const char *name,
                 std::ostream &err, uint64_t &value) {
    const auto given = options.values.find(name);
    if (given == options.values.end()) return true;
    const std::optional<uint64_t> count = wholeCount(given->second);
    if (!count) {
        err << "kvg " << command.name << ": " << name
            << " takes a whole number above 0 (K, M, G allowed), not '" << given->second
            << "'\nusage: kvg " << command.name << " " << command.synopsis << "\n";
        return false;
    }
    value = *count;
    return true;
}

std::vector<OptionRule> withLimitOptions(std::span<const OptionRule> rules) {
    std::vector<OptionRule> all(rules.begin(), rules.end());
    for (const LimitOption &option : LIMIT_OPTIONS) all.push_back({option.name, true});
    return all;
}

std::optional<kvgr::impl::Limits> limitsOf(const Command &command, const Options &options,
                                           std::ostream &err,
                                           const kvgr::impl::Limits &defaults) {
    kvgr::impl::Limits limits = defaults;
    for (const LimitOption &option : LIMIT_OPTIONS) {
        if (!countOption(command, options, option.name, err, limits.*option.field)) {
            return std::nullopt;
        }
    }
    return limits;
}

}  // namespace kvgtool
