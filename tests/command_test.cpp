// The command layer of kvg: its version, exceptions turned into messages, standard output that
// cannot be written, and output files that a failure never damages.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>
#include <ios>
#include <new>
#include <thread>

#include "command.h"
#include "output.h"
#include "png.h"
#include "tool_support.h"
#include "viewer_page.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;

// The files of the current directory, by name.
std::vector<std::string> listing() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(".")) names.push_back(entry.path().filename());
    std::ranges::sort(names);
    return names;
}

// The real executable, for what only a process shows (its standard output, its exit code).
struct Process {
    int status;
    std::string err;
};
Process runKvg(const std::string &arguments) {
    TempPath err(".err");
    const std::string command = std::string(KVG_TOOL_PATH) + " " + arguments + " 2>" + err.str();
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(err.str())};
}

TEST(Command, VersionAndHelp) {
    ToolRun r = kvg({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("kvg ") + KVG_VERSION + "\n");
    r = kvg({"svg", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: kvg svg FILE [-o OUT.svg]", 0), 0u);
}

TEST(Command, EscapingExceptionsBecomeMessages) {
    const auto throwing = [](auto exception) {
        static std::function<void()> raise;
        raise = [exception] { throw exception; };
        const kvgtool::Command command{"try", "", "", "",
                                       [](kvgtool::Args, std::ostream &, std::ostream &) -> int {
                                           raise();
                                           return 0;
                                       }};
        std::ostringstream out, err;
        const int status = kvgtool::runCommand(command, {}, out, err);
        return std::pair{status, err.str()};
    };
    EXPECT_EQ(throwing(std::bad_alloc()), (std::pair<int, std::string>{1, "kvg try: out of memory\n"}));
    const auto [status, message] = throwing(std::ios_base::failure("stream broke"));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(message.rfind("kvg try: input/output error: stream broke", 0), 0u) << message;
    EXPECT_EQ(throwing(std::runtime_error("no")).second, "kvg try: no\n");
}

// '-' names standard input and output wherever a command reads or writes one file; read from
// standard input, a drawing goes to standard output unless -o names a file.
TEST(Command, DashIsStandardInputAndOutput) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "named.kvg"}).status, 0);
    Process p = runKvg("demo -o - > piped.kvg");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(readText("piped.kvg"), readText("named.kvg"));
    const std::string svg = kvg({"svg", "named.kvg", "-o", "-"}).out;
    p = runKvg("svg - < named.kvg > piped.svg");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(readText("piped.svg"), svg);
    ASSERT_EQ(runKvg("svg - -o named.svg < named.kvg").status, 0);
    EXPECT_EQ(readText("named.svg"), svg);
    std::vector<std::string> commands = {"check", "info", "dump", "svg"};
    if (kvgtool::viewerPage().find("<!--DRAWING-->") != std::string_view::npos) {
        commands.push_back("html");
        p = runKvg("html - < named.kvg > piped.html");
        ASSERT_EQ(p.status, 0) << p.err;
        // A gzip stream is embedded as it came.
        EXPECT_TRUE(contains(readText("piped.html"),
                             "data-name=\"drawing.kvg\">" + kvgrender::base64(readText("named.kvg")) +
                                 "</script>"));
    }
    writeText("empty.kvg", "");
    for (const std::string &command : commands) {
        p = runKvg(command + " - < empty.kvg");
        EXPECT_EQ(p.status, 1) << command;
        EXPECT_EQ(p.err, "kvg " + command + ": standard input: offset 0: empty file\n");
    }
}

TEST(Command, FullStandardOutputFailsWithTheReason) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    for (const std::string command : {"dump map.kvg", "info map.kvg", "check map.kvg",
                                      "svg map.kvg -o -", "--help", "--version"}) {
        const Process p = runKvg(command + " >/dev/full");
        EXPECT_EQ(p.status, 1) << command;
        EXPECT_TRUE(contains(p.err, "cannot write standard output: No space left on device"))
            << command << ": " << p.err;
    }
    EXPECT_EQ(runKvg("check map.kvg >/dev/null").status, 0);
}

TEST(Command, OutputThatIsTheInputIsRefused) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    const std::string before = readText("map.kvg");
    fs::create_symlink("map.kvg", "alias.kvg");
    fs::create_hard_link("map.kvg", "hard.kvg");
    for (const std::string command : {"svg", "render"})
        for (const std::string target : {"map.kvg", "./map.kvg", "alias.kvg", "hard.kvg"}) {
            std::vector<std::string> args{command, "map.kvg", "-o", target};
            if (command == "render") args.insert(args.end(), {"--format", "png"});
            const ToolRun r = kvg(args);
            EXPECT_EQ(r.status, 1) << command << " " << target;
            EXPECT_EQ(r.err, "kvg " + command + ": the output " + target +
                                 " is the input file; nothing written\n");
        }
    EXPECT_EQ(readText("map.kvg"), before);
}

TEST(Command, AFailureLeavesTheTargetAsItWas) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    writeText("broken.kvg", "KVG but not really");
    writeText("out.svg", "the old picture");
    ASSERT_EQ(chmod("out.svg", 0640), 0);
    const std::vector<std::string> before = listing();
    ToolRun r = kvg({"svg", "broken.kvg", "-o", "out.svg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readText("out.svg"), "the old picture");
    EXPECT_EQ(listing(), before);  // nothing left beside it
    // Success replaces it, keeping its permissions.
    r = kvg({"svg", "map.kvg", "-o", "out.svg"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readText("out.svg").rfind("<?xml", 0), 0u);
    EXPECT_EQ(fs::status("out.svg").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(listing(), before);
    // Through a symbolic link the file it names is replaced, and the link kept.
    fs::create_symlink("out.svg", "link.svg");
    writeText("out.svg", "old again");
    ASSERT_EQ(kvg({"svg", "map.kvg", "-o", "link.svg"}).status, 0);
    EXPECT_TRUE(fs::is_symlink("link.svg"));
    EXPECT_EQ(readText("out.svg").rfind("<?xml", 0), 0u);
    // A target that cannot be written: the system's reason.
    r = kvg({"svg", "map.kvg", "-o", "no-such-directory/out.svg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg svg: cannot write no-such-directory/out.svg: No such file or directory\n");
    r = kvg({"svg", "map.kvg", "-o", "."});
    EXPECT_EQ(r.err, "kvg svg: cannot write .: Is a directory\n");
}

// A disk that fills up while the output is written (a limit on the size of files stands in for
// it, in a child process): the system's reason, the target as it was, nothing beside it.
TEST(Command, AFullDiskLeavesTheTargetAsItWas) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    writeText("old.svg", "the old picture");
    const std::vector<std::string> before = listing();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &small);
        for (const char *target : {"old.svg", "new.svg"}) {
            const ToolRun r = kvg({"svg", "map.kvg", "-o", target});
            writeText(std::string(target) + ".err", std::to_string(r.status) + " " + r.err);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(readText("old.svg.err"),
              "1 kvg svg: cannot write old.svg: File too large; old.svg is unchanged\n");
    EXPECT_EQ(readText("new.svg.err"),
              "1 kvg svg: cannot write new.svg: File too large; new.svg was not written\n");
    fs::remove("old.svg.err");
    fs::remove("new.svg.err");
    EXPECT_EQ(readText("old.svg"), "the old picture");
    EXPECT_EQ(listing(), before);
}

TEST(Command, DevicesAndFifosAreWrittenInPlace) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    // A device that refuses the data: reported, and still there.
    ToolRun r = kvg({"svg", "map.kvg", "-o", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg svg: cannot write /dev/full: No space left on device; /dev/full is "
                     "incomplete\n");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    // A FIFO: written through, never replaced.
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    std::string received;
    std::thread reader([&] { received = readText("pipe"); });
    r = kvg({"svg", "map.kvg", "-o", "pipe"});
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(received, kvg({"svg", "map.kvg", "-o", "-"}).out);
    EXPECT_TRUE(fs::is_fifo("pipe"));
    EXPECT_EQ(listing(), (std::vector<std::string>{"map.kvg", "pipe"}));
}

}  // namespace
}  // namespace kvgtest
