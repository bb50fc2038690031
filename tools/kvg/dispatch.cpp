#include <algorithm>
#include <array>
#include <exception>
#include <ios>
#include <new>

#include "command.h"
#include "output.h"

namespace kvgtool {

namespace {

// The subcommands, in the order of the overview.
const std::array<const Command *, 9> COMMANDS = {&DEMO_COMMAND,  &INFO_COMMAND,   &DUMP_COMMAND,
                                                 &CHECK_COMMAND, &SVG_COMMAND,    &RENDER_COMMAND,
                                                 &HTML_COMMAND,  &SERVE_COMMAND,
                                                 &IMPORT_COMMAND};

bool isHelp(const std::string &arg) { return arg == "--help" || arg == "-h"; }

void printOverview(std::ostream &out) {
    out << "usage: kvg COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const Command *command : COMMANDS) {
        std::string left = std::string(command->name) + " " + command->synopsis;
        left.resize(std::max<size_t>(left.size() + 2, 30), ' ');
        out << "  " << left << command->summary << "\n";
    }
    out << "\nRun 'kvg COMMAND --help' for the details of a command.\n";
}

void printHelp(const Command &command, std::ostream &out) {
    out << "usage: kvg " << command.name << " " << command.synopsis << "\n\n"
        << command.summary << "\n";
    if (command.details[0] != '\0') out << "\n" << command.details;
    if (command.takesLimits) out << "\n" << LIMIT_OPTIONS_HELP;
}

int dispatch(Args args, std::ostream &out, std::ostream &err, const char *&name) {
    if (args.empty()) {
        printOverview(err);
        return EXIT_USAGE;
    }
    if (isHelp(args[0]) || args[0] == "help") {
        printOverview(out);
        return EXIT_OK;
    }
    if (args[0] == "--version") {
        out << "kvg " << KVG_VERSION << "\n";
        return EXIT_OK;
    }
    const auto found = std::ranges::find_if(
        COMMANDS, [&](const Command *command) { return args[0] == command->name; });
    if (found == COMMANDS.end()) {
        err << "kvg: unknown command '" << args[0] << "'\n";
        printOverview(err);
        return EXIT_USAGE;
    }
    name = (*found)->name;
    const Args rest = args.subspan(1);
    if (std::ranges::any_of(rest, isHelp)) {
        printHelp(**found, out);
        return EXIT_OK;
    }
    return runCommand(**found, rest, out, err);
}

}  // namespace

int runCommand(const Command &command, Args args, std::ostream &out, std::ostream &err) {
    const auto failed = [&](const std::string &what) {
        err << "kvg " << command.name << ": " << what << "\n";
        return EXIT_FAILED;
    };
    try {
        return command.run(args, out, err);
    } catch (const std::bad_alloc &) {
        return failed("out of memory");
    } catch (const std::ios_base::failure &e) {
        return failed(std::string("input/output error: ") + e.what());
    } catch (const std::exception &e) {
        return failed(e.what());
    }
}

int run(Args args, std::ostream &out, std::ostream &err) {
    const char *name = nullptr;
    const int status = dispatch(args, out, err, name);
    // A command that failed has said why; one that succeeded may not have noticed.
    if (out.flush() || status != EXIT_OK) return status;
    err << "kvg" << (name != nullptr ? std::string(" ") + name : "")
        << ": cannot write standard output: " << writeFailure(out)
        << "; standard output is incomplete\n";
    return EXIT_FAILED;
}

std::optional<Options> parseOptions(const Command &command, Args args,
                                    std::span<const OptionRule> rules, size_t positionals,
                                    std::ostream &err) {
    const auto problem = [&](const std::string &what) -> std::optional<Options> {
        err << "kvg " << command.name << ": " << what << "\nusage: kvg " << command.name << " "
            << command.synopsis << "\n";
        return std::nullopt;
    };
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            options.positional.push_back(arg);
            continue;
        }
        const auto rule = std::ranges::find_if(
            rules, [&](const OptionRule &s) { return arg == s.name; });
        if (rule == rules.end()) return problem("unknown option '" + arg + "'");
        if (!rule->takesValue) {
            options.flags.insert(arg);
        } else if (i + 1 < args.size()) {
            options.values[arg] = args[++i];
        } else {
            return problem("option '" + arg + "' needs a value");
        }
    }
    if (options.positional.size() != positionals) {
        return problem(options.positional.size() < positionals ? "missing argument"
                                                               : "too many arguments");
    }
    return options;
}

std::optional<kvgr::impl::LoadedFile> loadKvg(const Command &command, const std::string &path,
                                              std::ostream &err, uint64_t contentLimit) {
    std::string error;
    std::optional<kvgr::impl::LoadedFile> file = kvgr::impl::loadFile(path, error, contentLimit);
    if (!file) err << "kvg " << command.name << ": " << error << "\n";
    return file;
}

}  // namespace kvgtool
