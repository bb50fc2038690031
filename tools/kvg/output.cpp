#include "output.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kvgtool {

bool writeOutput(const Command &command, const std::string &path, std::string_view content,
                 std::ostream &out, std::ostream &err) {
    if (path == "-") {
        out << content;
        return static_cast<bool>(out.flush());
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file.write(content.data(), static_cast<std::streamsize>(content.size())) && file.flush())
        return true;
    err << "kvg " << command.name << ": cannot write " << path << ": " << std::strerror(errno)
        << "\n";
    return false;
}

std::string replaceExtension(const std::string &path, const std::string &extension) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && dot > (slash == std::string::npos ? 0 : slash + 1);
    return (hasExtension ? path.substr(0, dot) : path) + extension;
}

}  // namespace kvgtool
