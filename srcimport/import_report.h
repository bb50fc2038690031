// The tally of what an import changed or could not keep: features clipped (part of them lies
// where the projection shows nothing), mended (invalid geometry made valid), left out (nothing
// of them can be drawn) and damaged (records the source could not give whole), each with its
// reason. The summary line says it in a few words; with `strict`, the first entry is an error
// instead, so that nothing is written.
#ifndef KVGIMPORT_IMPORT_REPORT_H
#define KVGIMPORT_IMPORT_REPORT_H

#include <array>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace kvgimport {

enum class Change { clipped, mended, leftOut, damaged };

class ImportReport {
public:
    explicit ImportReport(bool strict = false) : strict_(strict) {}

    // Records that the feature `where` ("layer L, feature F") was changed for `reason`; a
    // feature counts once per kind of change. When strict, throws InputError instead, with
    // the message "where: reason" or, where given, `detail` (which names the place itself).
    void add(Change change, const std::string &where, const std::string &reason,
             const std::string &detail = {});

    // Features changed so, for any reason.
    size_t count(Change change) const { return counts_[size_t(change)]; }
    bool empty() const { return noted_.empty(); }

    // "2 mended (Self-intersection 2), 1 left out (beyond the horizon 1)"; empty when
    // nothing was changed.
    std::string summary() const;

private:
    bool strict_;
    std::array<size_t, 4> counts_{};
    std::set<std::pair<Change, std::string>> noted_;          // features, by kind of change
    std::map<std::pair<Change, std::string>, size_t> reasons_;  // features per kind and reason
};

}  // namespace kvgimport

#endif  // KVGIMPORT_IMPORT_REPORT_H
