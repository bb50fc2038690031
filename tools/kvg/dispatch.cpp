#include <algorithm>
#include <array>

#include "command.h"

namespace kvgtool {

namespace {

// The subcommands, in the order of the overview.
const std::array<const Command *, 6> COMMANDS = {&DEMO_COMMAND,  &INFO_COMMAND, &DUMP_COMMAND,
                                                 &CHECK_COMMAND, &SVG_COMMAND,  &IMPORT_COMMAND};

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
}

}  // namespace

int run(Args args, std::ostream &out, std::ostream &err) {
    if (args.empty()) {
        printOverview(err);
        return EXIT_USAGE;
    }
    if (isHelp(args[0]) || args[0] == "help") {
        printOverview(out);
        return EXIT_OK;
    }
    const auto found = std::ranges::find_if(
        COMMANDS, [&](const Command *command) { return args[0] == command->name; });
    if (found == COMMANDS.end()) {
        err << "kvg: unknown command '" << args[0] << "'\n";
        printOverview(err);
        return EXIT_USAGE;
    }
    const Args rest = args.subspan(1);
    if (std::ranges::any_of(rest, isHelp)) {
        printHelp(**found, out);
        return EXIT_OK;
    }
    return (*found)->run(rest, out, err);
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

std::optional<kvgr::LoadedFile> loadKvg(const Command &command, const std::string &path,
                                        std::ostream &err) {
    std::string error;
    std::optional<kvgr::LoadedFile> file = kvgr::loadFile(path, error);
    if (!file) err << "kvg " << command.name << ": " << error << "\n";
    return file;
}

}  // namespace kvgtool
