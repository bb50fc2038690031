#include "source_budget.h"

namespace kvgimport {

void SourceBudget::feature(size_t fields) {
    if (++features_ > limits_.features)
        throw InputError("more than " + std::to_string(limits_.features) + " features");
    bytes(sizeof(Feature) + fields * sizeof(Value));
}

void SourceBudget::points(uint64_t count) {
    points_ += count;
    if (points_ > limits_.points)
        throw InputError("more than " + std::to_string(limits_.points) + " points");
    bytes(count * sizeof(Pos));
}

void SourceBudget::bytes(uint64_t count) {
    bytes_ += count;
    if (bytes_ > limits_.memory)
        throw InputError("needs more than the limit of " + std::to_string(limits_.memory) +
                         " bytes of memory");
}

void SourceBudget::depth(uint64_t nesting) const {
    if (nesting > limits_.depth)
        throw InputError("values nested deeper than " + std::to_string(limits_.depth));
}

}  // namespace kvgimport
