// kvg serve: a tile archive and the viewer page over HTTP on the loopback address, so that a
// browser on the same machine reads the archive by range requests as it would from any web
// server. One request at a time, each connection closed after its answer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "archive.h"
#include "kvgarchive.hpp"
#include "viewer_page.h"

namespace kvgtool {

namespace {

constexpr OptionRule SERVE_OPTIONS[] = {{"--port", true}, {"--requests", true}};
constexpr size_t MAX_REQUEST_HEAD = 16384;
constexpr const char *ARCHIVE_PATH = "/archive.pmtiles";

struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

// The request's head (up to the blank line), or "" when the client sent none.
std::string readHead(int fd) {
    std::string head;
    char buffer[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < MAX_REQUEST_HEAD) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
    }
    return head;
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the client went away
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void respond(int fd, const std::string &status, const std::string &headers, std::string_view body,
             bool withBody) {
    std::ostringstream head;
    head << "HTTP/1.1 " << status << "\r\nContent-Length: " << body.size()
         << "\r\nConnection: close\r\nCache-Control: no-store\r\n" << headers << "\r\n";
    sendAll(fd, head.str());
    if (withBody) sendAll(fd, body);
}

// Answers one request: the page at "/", the archive (whole or a byte range) at ARCHIVE_PATH.
void answer(int fd, const std::string &archive) {
    static const std::regex requestLine(R"(^(GET|HEAD) ([^ ?]*)[^ ]* HTTP/1\.[01]\r\n)");
    static const std::regex rangeLine(R"(\r\n[Rr]ange: *bytes=(\d+)-(\d*) *\r\n)");
    const std::string head = readHead(fd);
    std::smatch request;
    if (!std::regex_search(head, request, requestLine)) {
        respond(fd, "400 Bad Request", "", "", true);
        return;
    }
    const bool withBody = request[1] == "GET";
    if (request[2] == "/") {
        respond(fd, "200 OK", "Content-Type: text/html; charset=utf-8\r\n", viewerPage(), withBody);
        return;
    }
    if (request[2] != ARCHIVE_PATH) {
        respond(fd, "404 Not Found", "", "", withBody);
        return;
    }
    const std::string type = "Content-Type: application/vnd.pmtiles\r\nAccept-Ranges: bytes\r\n";
    std::smatch range;
    if (!std::regex_search(head, range, rangeLine)) {
        respond(fd, "200 OK", type, archive, withBody);
        return;
    }
    const uint64_t first = std::stoull(range[1]);
    const uint64_t last = std::min<uint64_t>(
        range[2].length() > 0 ? std::stoull(range[2]) : UINT64_MAX, archive.size() - 1);
    if (first > last) {
        respond(fd, "416 Range Not Satisfiable",
                "Content-Range: bytes */" + std::to_string(archive.size()) + "\r\n", "", withBody);
        return;
    }
    respond(fd, "206 Partial Content",
            type + "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                "/" + std::to_string(archive.size()) + "\r\n",
            std::string_view(archive).substr(first, last - first + 1), withBody);
}

int serve(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(SERVE_COMMAND, args, SERVE_OPTIONS, 1, err);
    if (!options) return EXIT_USAGE;
    const auto fail = [&](const std::string &what) {
        err << "kvg serve: " << what << "\n";
        return EXIT_FAILED;
    };
    const std::string &path = options->positional[0];
    if (viewerPage().empty()) return fail("this kvg was built without the web viewer");
    if (!isArchive(path)) return fail(path + ": not a tile archive (PMTiles)");
    std::string bytes;
    {
        kvga::Archive archive;  // refuses a damaged archive before anything is served
        try {
            archive.openFile(path);
        } catch (const kvga::Error &e) {
            return fail(path + ": " + e.what());
        }
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto number = [&](const char *option, long fallback) {
        const auto found = options->values.find(option);
        return found == options->values.end() ? fallback : std::stol(found->second);
    };
    const long port = number("--port", 8017), requests = number("--requests", -1);
    if (port < 0 || port > 65535) return fail("--port must be 0 to 65535");
    Socket listener{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    const int yes = 1;
    ::setsockopt(listener.fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // this machine only
    socklen_t length = sizeof address;
    if (listener.fd < 0 || ::bind(listener.fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(listener.fd, 16) != 0 ||
        ::getsockname(listener.fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        return fail("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                    std::strerror(errno));
    }
    out << "serving " << path << " at http://127.0.0.1:" << ntohs(address.sin_port)
        << "/?src=" << ARCHIVE_PATH << std::endl;
    for (long served = 0; requests < 0 || served < requests; ++served) {
        Socket client{::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC)};
        if (client.fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return fail(std::string("cannot accept a connection: ") + std::strerror(errno));
        }
        answer(client.fd, bytes);
    }
    return EXIT_OK;
}

}  // namespace

const Command SERVE_COMMAND = {
    "serve", "ARCHIVE [--port N] [--requests N]",
    "show a tile archive in the browser from a local web server",
    "Checks the archive's header, directories root and metadata, then serves it over HTTP on\n"
    "the loopback address 127.0.0.1 only (other machines cannot reach it): the viewer page at\n"
    "/ and the archive at /archive.pmtiles, whole or by byte ranges, as the viewer reads it.\n"
    "Open the address it prints. --port chooses the port (default 8017; 0: any free port,\n"
    "printed); --requests N stops after N requests (for scripts); otherwise Ctrl-C stops it.\n"
    "The archive is read into memory once when the server starts.\n",
    serve};

}  // namespace kvgtool
