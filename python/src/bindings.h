// What the parts of the compiled module share: raising kvg's exceptions, string arguments, and
// the binding of the reading half.
#ifndef KVG_PYTHON_BINDINGS_H
#define KVG_PYTHON_BINDINGS_H

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

// Raises the kvg.Error subclass of a writer's KVG_ERROR_CODE.
[[noreturn]] void raise(int code, const std::string &message);
// Raises kvg.ParamError.
[[noreturn]] void raiseParam(const std::string &message);
// Raises kvg.LimitError.
[[noreturn]] void raiseLimit(const std::string &message);
// Raises what a reader's failure (a KVGR_ERROR_CODE) is in Python: kvg.FormatError for a
// damaged file, with the byte offset of the fault.
[[noreturn]] void raiseReaderError(int code, uint64_t offset, const std::string &reason,
                                   const std::string &message);
// A string argument as a C string; an embedded NUL, which would cut it short, is refused.
const char *cString(const std::string &text);

void bindReader(pybind11::module_ &m);
void bindRings(pybind11::module_ &m);
void bindArchive(pybind11::module_ &m);

#endif  // KVG_PYTHON_BINDINGS_H
