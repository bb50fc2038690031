// The I/O fault injection armed for a test's scope: the n-th operation of each kind fails.
#ifndef KVG_FAULT_GUARD_H
#define KVG_FAULT_GUARD_H

#include "xio_fault.h"

namespace kvgtest {

// The operations made to fail: the n-th of each kind, 0 for none.
struct Faults {
    long write = 0, close = 0, open = 0, sync = 0, rename = 0;
};

// Arms the fault injection, and disarms it however a test ends.
struct FaultGuard {
    explicit FaultGuard(const Faults &f) {
        XIO_setFaultInjection(f.write, f.close, f.open);
        XIO_setCommitFaultInjection(f.sync, f.rename);
    }
    ~FaultGuard() {
        XIO_setFaultInjection(0, 0, 0);
        XIO_setCommitFaultInjection(0, 0);
    }
    FaultGuard(const FaultGuard &) = delete;
    FaultGuard &operator=(const FaultGuard &) = delete;
};

}  // namespace kvgtest

#endif  // KVG_FAULT_GUARD_H
