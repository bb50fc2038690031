#include "bindings.h"

#include "kvgwriter.h"

namespace py = pybind11;

namespace {

// Raises the exception that a factory of kvg._errors builds from `args`.
template <class... Args>
[[noreturn]] void raiseFrom(const char *factory, Args &&...args) {
    const py::object error =
        py::module_::import("kvg._errors").attr(factory)(std::forward<Args>(args)...);
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

}  // namespace

void raise(int code, const std::string &message) { raiseFrom("from_code", code, message); }

void raiseParam(const std::string &message) { raise(KVG_ERR_PARAM, message); }

void raiseLimit(const std::string &message) { raise(KVG_ERR_LIMITS, message); }

void raiseReaderError(int code, uint64_t offset, const std::string &reason,
                      const std::string &message) {
    raiseFrom("from_reader", code, offset, reason, message);
}

const char *cString(const std::string &text) {
    if (text.find('\0') != std::string::npos) raiseParam("text must not contain NUL characters");
    return text.c_str();
}
