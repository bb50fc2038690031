// The kvg command: one executable, one subcommand per task. Every subcommand is a Command in
// the table of dispatch.cpp; run() picks it by name, answers --help from its texts, and returns
// the process's exit code. Messages go to `err`, results to `out`.
#ifndef KVGTOOL_COMMAND_H
#define KVGTOOL_COMMAND_H

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "decoder.h"
#include "kvgreader.hpp"

namespace kvgtool {

using Args = std::span<const std::string>;

enum Exit : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1,  // invalid input, or the task failed
    EXIT_USAGE = 2,   // the command line is wrong
};

struct Command {
    const char *name;
    const char *synopsis;  // the arguments, as in "FILE [--json]"
    const char *summary;   // one line for the overview
    const char *details;   // what `kvg NAME --help` adds below the synopsis
    int (*run)(Args args, std::ostream &out, std::ostream &err);  // args after the name
    bool takesLimits = false;  // the reader's limit options (withLimitOptions), told in --help
};

// The subcommands, each defined in its own file.
extern const Command INFO_COMMAND;
extern const Command DUMP_COMMAND;
extern const Command CHECK_COMMAND;
extern const Command DEMO_COMMAND;
extern const Command SVG_COMMAND;
extern const Command RENDER_COMMAND;
extern const Command IMPORT_COMMAND;
extern const Command HTML_COMMAND;
extern const Command SERVE_COMMAND;

// Runs kvg with the arguments that follow the program name. A command that succeeds but could
// not write all its standard output fails with a message.
int run(Args args, std::ostream &out, std::ostream &err);

// Runs one command; std::bad_alloc, std::ios_base::failure and other exceptions that escape it
// become a message "kvg NAME: reason" and the exit code 1.
int runCommand(const Command &command, Args args, std::ostream &out, std::ostream &err);

// ---- Helpers for subcommands ----

// A command line split into positional arguments, flags (--json) and options with a value
// (-o FILE).
struct Options {
    std::vector<std::string> positional;
    std::set<std::string> flags;
    std::map<std::string, std::string> values;
};

struct OptionRule {
    const char *name;  // "--json", "-o"
    bool takesValue;
};

// Parses `args`; on a mistake writes "kvg NAME: problem" and the usage line to `err`.
std::optional<Options> parseOptions(const Command &command, Args args,
                                    std::span<const OptionRule> rules, size_t positionals,
                                    std::ostream &err);

// The options of the commands that read KVG files that lower or raise the reader's limits
// (KVGR_LIMIT): --max-points N, --max-bytes N (of content), --max-memory N (countOption).
std::vector<OptionRule> withLimitOptions(std::span<const OptionRule> rules);
// Sets `value` from the option `name` when it is given; false, with "kvg NAME: problem" and
// the usage line on `err`, when its value is not a whole number above 0 (K, M or G for 2^10,
// 2^20 or 2^30 may follow).
bool countOption(const Command &command, const Options &options, const char *name,
                 std::ostream &err, uint64_t &value);
// The usage text of those options.
extern const char *const LIMIT_OPTIONS_HELP;
// The limits `options` set over `defaults`; nothing, with "kvg NAME: problem" on `err`, for a
// value that is not a whole number above 0.
std::optional<kvgr::impl::Limits> limitsOf(const Command &command, const Options &options,
                                           std::ostream &err,
                                           const kvgr::impl::Limits &defaults = {});

// Reads the KVG file `path` ('-': standard input) with a reader under `limits` and hands it to
// `walk`, which reads its records. A failure to open or read it and a fault of the file (thrown
// by the reader) are reported as "kvg NAME: FILE: message" on `err`; the result is the exit
// code. With `kept`, the file's bytes as read (compressed or not) are appended to it.
int readRecords(const Command &command, const std::string &path, std::ostream &err,
                const kvgr::impl::Limits &limits,
                const std::function<void(kvgr::Reader &)> &walk, std::string *kept = nullptr);

// How a file argument is named in messages: '-' is "standard input".
std::string displayName(const std::string &path);

// What a renderer holds whole in memory at most by default: a drawing beyond this is more than
// any picture shows, and a small gzip stream must not claim a gigabyte.
constexpr uint64_t WHOLE_FILE_CONTENT_LIMIT = uint64_t{1} << 28;

// Loads a KVG file (plain or gzip, '-': standard input) whole, up to `contentLimit` bytes of
// content; on failure writes "kvg NAME: reason" to `err`.
std::optional<kvgr::impl::LoadedFile> loadKvg(const Command &command, const std::string &path,
                                              std::ostream &err,
                                              uint64_t contentLimit = WHOLE_FILE_CONTENT_LIMIT);

}  // namespace kvgtool

#endif  // KVGTOOL_COMMAND_H
