// A writer whose world units are file units, for tests that spell out whole files: the world
// window is the default 4096 x 4096 grid's, so a test's coordinates reach the records as given.
#ifndef KVG_UNIT_WRITER_H
#define KVG_UNIT_WRITER_H

#include <memory>
#include <string>

#include "test_support.h"

namespace kvgtest {

struct OptionsDeleter {
    void operator()(KVG_FileOptions *opt) const { KVG_deleteFileOptions(opt); }
};

inline std::unique_ptr<KVG_FileOptions, OptionsDeleter> unitOptions() {
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setWorldFileOption(opt.get(), -2048, 2048, -2048, 2048);
    return opt;
}

class UnitWriter : public WriterFixture {
public:
    UnitWriter() : WriterFixture(unitOptions().get()) {}
};

// The whole file a UnitWriter writes: the header of the default grid (point and relative point
// size 32, resolution 4096 x 4096, window -2048 to 2048, 100 x 100 mm, white), the definitions,
// the closing size records (RGB, 32, 32) and the layer section, each given in hex.
inline Bytes unitFile(const std::string &definitions, const std::string &layers) {
    static const std::string header =
        "4B 56 47 98 E1 00 00 04 20 20 10 00 10 00 F8 00 F8 00 08 00 08 00 00 64 00 64 FF FF FF";
    return fromHex(header + " " + definitions + " 5D 06 52 5A " + layers);
}

}  // namespace kvgtest

#endif  // KVG_UNIT_WRITER_H
