// What reading a source has taken so far against the import's limits: features, points (every
// use of a shared arc counted), and the memory the source's model and its parse hold.
#ifndef KVGIMPORT_SOURCE_BUDGET_H
#define KVGIMPORT_SOURCE_BUDGET_H

#include <cstdint>
#include <string>

#include "kvgimport.h"
#include "model.h"

namespace kvgimport {

class SourceBudget {
public:
    explicit SourceBudget(const ImportLimits &limits) : limits_(limits) {}

    // Each throws InputError in the reader's words once its limit is passed.
    void feature(size_t fields);
    void points(uint64_t count);
    void bytes(uint64_t count);
    void text(const std::string &s) { bytes(sizeof(std::string) + s.size()); }
    void depth(uint64_t nesting) const;

    uint64_t depthLimit() const { return limits_.depth; }

private:
    ImportLimits limits_;
    uint64_t features_ = 0, points_ = 0, bytes_ = 0;
};

}  // namespace kvgimport

#endif  // KVGIMPORT_SOURCE_BUDGET_H
