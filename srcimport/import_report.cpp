#include "import_report.h"

#include "kvgimport.h"

namespace kvgimport {

namespace {

constexpr const char *CHANGE_NAMES[] = {"clipped", "mended", "left out", "damaged"};

}  // namespace

void ImportReport::add(Change change, const std::string &where, const std::string &reason,
                       const std::string &detail) {
    if (strict_)
        throw InputError((detail.empty() ? where + ": " + reason : detail) + " (" +
                         CHANGE_NAMES[size_t(change)] + " unless --strict)");
    if (!noted_.emplace(change, where).second) return;
    ++counts_[size_t(change)];
    ++reasons_[{change, reason}];
}

std::string ImportReport::summary() const {
    std::string text;
    for (size_t c = 0; c < counts_.size(); ++c) {
        if (counts_[c] == 0) continue;
        text += (text.empty() ? "" : ", ") + std::to_string(counts_[c]) + " " + CHANGE_NAMES[c] + " (";
        bool first = true;
        for (const auto &[key, n] : reasons_)
            if (size_t(key.first) == c) {
                text += (first ? "" : "; ") + key.second + " " + std::to_string(n);
                first = false;
            }
        text += ")";
    }
    return text;
}

}  // namespace kvgimport
