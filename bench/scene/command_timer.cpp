#include "command_timer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <stdexcept>

#include "rounds.h"

extern char **environ;

namespace scene {

namespace {

double seconds(const timeval &t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Runs the command once; returns its processor time and adds nothing else to the process.
double runOnce(const std::vector<std::string> &command) {
    std::vector<char *> argv;
    for (const std::string &arg : command) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + command[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(command[0] + " failed");
    }
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

CommandTimes timeCommand(const std::vector<std::string> &command, int rounds) {
    std::vector<double> cpu, wall;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        cpu.push_back(runOnce(command));
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        wall.push_back(elapsed.count());
    }
    return {median(cpu), median(wall)};
}

}  // namespace scene
