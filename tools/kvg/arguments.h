// Helpers of the commands that take many options: lists, numbers, and a progress line.
#ifndef KVGTOOL_ARGUMENTS_H
#define KVGTOOL_ARGUMENTS_H

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "kvgimport.h"

namespace kvgtool {

// A progress line on `err`, shown only when it is the terminal's standard error and only once
// the work has taken a second; redrawn at most five times a second.
class ProgressLine {
public:
    ProgressLine(std::ostream &err, const char *command)
        : err_(err), command_(command),
          enabled_(err.rdbuf() == std::cerr.rdbuf() && isatty(STDERR_FILENO) != 0) {}
    ~ProgressLine() {
        if (shown_) err_ << "\r\033[K" << std::flush;
    }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    kvgimport::ImportProgress callback() {
        if (!enabled_) return {};
        return [this](const char *phase, size_t done, size_t total) { update(phase, done, total); };
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int BAR = 30;

    void update(const char *phase, size_t done, size_t total) {
        const Clock::time_point now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200))
            return;
        last_ = now;
        shown_ = true;
        const int filled = total == 0 ? BAR : static_cast<int>(BAR * done / total);
        err_ << "\rkvg " << command_ << ": [" << std::string(filled, '#') << std::string(BAR - filled, ' ')
             << "] " << phase << " " << done << "/" << total << "\033[K" << std::flush;
    }

    std::ostream &err_;
    const char *command_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
};

inline std::vector<std::string> commaList(const std::string &text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start) items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

template <typename Number>
bool parseNumber(const std::string &text, Number &value) {
    const char *end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}


}  // namespace kvgtool

#endif  // KVGTOOL_ARGUMENTS_H
