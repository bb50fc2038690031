// The tile archive (kvgarchive.hpp) as _kvg.ArchiveWriter and _kvg.ArchiveReader, for the
// Python layer in kvg/_archive.py. kvga::Error becomes the exception of kvg._errors.from_archive.
#include <pybind11/stl.h>

#include <optional>
#include <string>

#include "bindings.h"
#include "kvgarchive.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

[[noreturn]] void raiseArchive(const kvga::Error &error) {
    const py::object e = py::module_::import("kvg._errors")
                             .attr("from_archive")(static_cast<int>(error.code()), error.what());
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(e.ptr())), e.ptr());
    throw py::error_already_set();
}

// Runs `call`, turning a kvga::Error into kvg's exception.
template <class Call>
auto guarded(Call call) -> decltype(call()) {
    try {
        return call();
    } catch (const kvga::Error &error) {
        raiseArchive(error);
    }
}

// A tile address from Python integers, refused before it could wrap.
struct Address {
    uint8_t z;
    uint32_t x, y;
};
Address address(int z, int64_t x, int64_t y) {
    if (z < 0 || z > kvga::MAX_ZOOM || x < 0 || y < 0 || x > UINT32_MAX || y > UINT32_MAX) {
        raiseParam("tile " + std::to_string(z) + "/" + std::to_string(x) + "/" +
                   std::to_string(y) + " lies outside the zooms 0 to 31");
    }
    return {static_cast<uint8_t>(z), static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
}

std::span<const uint8_t> bytesOf(const py::bytes &data, std::string &holder) {
    holder = data;
    return {reinterpret_cast<const uint8_t *>(holder.data()), holder.size()};
}

kvga::Metadata metadataOf(const py::dict &m) {
    kvga::Metadata out;
    const auto text = [&](const char *key) {
        return m.contains(key) ? m[key].cast<std::string>() : std::string();
    };
    out.name = text("name");
    out.description = text("description");
    out.attribution = text("attribution");
    out.extraJson = text("extra_json");
    if (m.contains("layers")) {
        for (const py::handle layer : m["layers"]) {
            const py::dict l = layer.cast<py::dict>();
            out.layers.push_back({l["id"].cast<std::string>(),
                                  l.contains("fields")
                                      ? l["fields"].cast<std::map<std::string, std::string>>()
                                      : std::map<std::string, std::string>(),
                                  l.contains("minzoom") ? l["minzoom"].cast<int>() : -1,
                                  l.contains("maxzoom") ? l["maxzoom"].cast<int>() : -1,
                                  l.contains("description") ? l["description"].cast<std::string>()
                                                            : std::string()});
        }
    }
    if (m.contains("bounds")) out.bounds = m["bounds"].cast<std::array<double, 4>>();
    if (m.contains("center")) {
        const auto c = m["center"].cast<std::array<double, 2>>();
        out.center = kvga::LonLat{c[0], c[1]};
    }
    if (m.contains("center_zoom")) out.centerZoom = m["center_zoom"].cast<uint8_t>();
    if (m.contains("extent")) out.extent = m["extent"].cast<uint32_t>();
    if (m.contains("buffer")) out.buffer = m["buffer"].cast<uint32_t>();
    return out;
}

// One writer; released (None) after finish or abandon.
class ArchiveWriter {
public:
    ArchiveWriter(const std::string &path, bool compress) {
        kvga::WriterOptions options;
        options.tileCompression = compress ? kvga::Compression::Gzip : kvga::Compression::None;
        writer_ = guarded([&] { return std::make_unique<kvga::Writer>(path, options); });
    }
    void addTile(int z, int64_t x, int64_t y, const py::bytes &data) {
        const Address a = address(z, x, y);
        std::string holder;
        const auto bytes = bytesOf(data, holder);
        guarded([&] { open().addTile(a.z, a.x, a.y, bytes); });
    }
    py::dict finish(const py::dict &metadata) {
        const kvga::Metadata m = metadataOf(metadata);
        const kvga::WriteSummary s = guarded([&] { return open().finish(m); });
        writer_.reset();
        return py::dict("addressed_tiles"_a = s.addressedTiles, "tile_entries"_a = s.tileEntries,
                        "tile_contents"_a = s.tileContents,
                        "leaf_directories"_a = s.leafDirectories,
                        "archive_bytes"_a = s.archiveBytes);
    }
    void abandon() { writer_.reset(); }
    bool isOpen() const { return writer_ != nullptr; }

private:
    kvga::Writer &open() {
        if (!writer_) raise(3, "the archive is closed");  // KVG_ERR_CONTEXT
        return *writer_;
    }
    std::unique_ptr<kvga::Writer> writer_;
};

py::dict headerOf(const kvga::Header &h) {
    return py::dict("min_zoom"_a = h.minZoom, "max_zoom"_a = h.maxZoom,
                    "bounds"_a = py::make_tuple(h.min.lon, h.min.lat, h.max.lon, h.max.lat),
                    "center"_a = py::make_tuple(h.center.lon, h.center.lat),
                    "center_zoom"_a = h.centerZoom, "addressed_tiles"_a = h.addressedTiles,
                    "tile_entries"_a = h.tileEntries, "tile_contents"_a = h.tileContents,
                    "tile_compression"_a = static_cast<int>(h.tileCompression),
                    "clustered"_a = h.clustered);
}

}  // namespace

void bindArchive(py::module_ &m) {
    py::class_<ArchiveWriter>(m, "ArchiveWriter")
        .def(py::init<const std::string &, bool>(), "path"_a, "compress"_a)
        .def("add_tile", &ArchiveWriter::addTile, "z"_a, "x"_a, "y"_a, "data"_a)
        .def("finish", &ArchiveWriter::finish, "metadata"_a)
        .def("abandon", &ArchiveWriter::abandon)
        .def_property_readonly("is_open", &ArchiveWriter::isOpen);
    py::class_<kvga::Archive>(m, "ArchiveReader")
        .def(py::init([](const std::string &path) {
            auto archive = std::make_unique<kvga::Archive>();
            guarded([&] { archive->openFile(path); });
            return archive;
        }))
        .def_property_readonly("header",
                               [](const kvga::Archive &a) { return headerOf(a.header()); })
        .def_property_readonly("metadata_json", &kvga::Archive::metadataJson)
        .def("tile", [](kvga::Archive &a, int z, int64_t x, int64_t y) -> std::optional<py::bytes> {
            const Address at = address(z, x, y);
            const auto tile = guarded([&] { return a.tile(at.z, at.x, at.y); });
            if (!tile) return std::nullopt;
            return py::bytes(reinterpret_cast<const char *>(tile->data()), tile->size());
        });
}
