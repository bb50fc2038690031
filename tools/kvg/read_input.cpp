#include "command.h"

namespace kvgtool {

std::string displayName(const std::string &path) {
    return path == "-" ? "standard input" : path;
}

int readRecords(const Command &command, const std::string &path, std::ostream &err,
                const std::function<void(kvgr::Reader &)> &walk) {
    const auto fail = [&](const std::string &message) {
        err << "kvg " << command.name << ": " << displayName(path) << ": " << message << "\n";
        return EXIT_FAILED;
    };
    try {
        kvgr::Reader reader;
        if (path == "-") {
            reader.openFd(0);
        } else {
            reader.openFile(path);
        }
        walk(reader);
    } catch (const kvgr::Error &error) {
        return fail(error.what());
    }
    return EXIT_OK;
}

}  // namespace kvgtool
