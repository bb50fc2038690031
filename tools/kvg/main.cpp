#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "command.h"
#include "output.h"

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Standard output through a buffer that keeps the reason of a failed write.
    kvgtool::FdBuffer buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    return kvgtool::run(args, out, std::cerr);
}
