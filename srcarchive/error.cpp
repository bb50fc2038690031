#include "archive_format.h"

namespace kvga::impl {

void fail(ErrorCode code, const std::string &message) { throw Error(code, message); }

}  // namespace kvga::impl
