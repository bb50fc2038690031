// Times a whole command, as the benchmark times the world maps' import: the command runs
// `rounds` times as a child process, its output going to /dev/null.
#ifndef KVG_SCENE_COMMAND_TIMER_H
#define KVG_SCENE_COMMAND_TIMER_H

#include <string>
#include <vector>

namespace scene {

struct CommandTimes {
    double cpu_seconds;   // median of the child's user + system time
    double wall_seconds;  // median wall-clock time
};

// Throws std::runtime_error when the command cannot be started or fails.
CommandTimes timeCommand(const std::vector<std::string> &command, int rounds);

}  // namespace scene

#endif  // KVG_SCENE_COMMAND_TIMER_H
