// Helpers of the commands that take many options: lists, numbers, and a progress line.
#ifndef KVGTOOL_ARGUMENTS_H
#define KVGTOOL_ARGUMENTS_H

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "command.h"
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

// The values of a parsed command line by option name, and the message for a wrong one.
class OptionValues {
public:
    OptionValues(const Options &parsed, const char *command, std::ostream &err)
        : parsed_(parsed), command_(command), err_(err) {}
    // The option's value, or null when it is not given.
    const std::string *operator()(const char *name) const {
        const auto found = parsed_.values.find(name);
        return found == parsed_.values.end() ? nullptr : &found->second;
    }
    // Writes "kvg COMMAND: NAME 'VALUE': expected"; the result stands for no options.
    std::nullopt_t bad(const char *name, const char *expected) const {
        err_ << "kvg " << command_ << ": " << name << " '" << *(*this)(name) << "': " << expected << "\n";
        return std::nullopt;
    }

private:
    const Options &parsed_;
    const char *command_;
    std::ostream &err_;
};

// "visvalingam" or "dp".
inline bool parseMethod(const std::string &text, kvgsimplify::Method &method) {
    if (text != "visvalingam" && text != "dp") return false;
    method = text == "dp" ? kvgsimplify::Method::douglasPeucker : kvgsimplify::Method::visvalingam;
    return true;
}
}  // namespace kvgtool

#endif  // KVGTOOL_ARGUMENTS_H
