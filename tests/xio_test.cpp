// XIO: byte-exact plain files, gzip files, reading back in blocks, sticky failures, temporary
// files and the fault-injection hook.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"
#include "xio.h"
#include "xio_buffer.h"
#include "xio_fault.h"

namespace {

using kvgtest::Bytes;
using kvgtest::TempPath;

constexpr size_t kBufferSize = 64 * 1024;  // XIO's write buffer: the cases straddle its ends
const int kCompressions[] = {XIO_PLAIN, XIO_ZLIB};

// Bytes without a short period, so that a lost, doubled or moved block shows.
Bytes pattern(size_t size) {
    Bytes bytes(size);
    uint32_t x = 12345;
    for (auto &byte : bytes) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

// Hands `bytes` to `file` in pieces whose sizes cycle through `pieces`; a piece of 1 goes
// through the inline cursor, larger ones through XIO_write. False at the first failure.
bool feed(XIO_File *file, const Bytes &bytes, const std::vector<size_t> &pieces) {
    size_t at = 0;
    for (size_t i = 0; at < bytes.size(); ++i) {
        size_t piece = std::min(pieces[i % pieces.size()], bytes.size() - at);
        bool ok = piece == 1 ? xioPutByte(file, bytes[at]) == bytes[at]
                             : XIO_write(file, &bytes[at], piece) == piece;
        if (!ok) return false;
        at += piece;
    }
    return true;
}

struct FeedCase {
    const char *name;
    size_t size;
    std::vector<size_t> pieces;
};

const FeedCase kFeedCases[] = {
    {"empty file", 0, {1}},
    {"single bytes across three buffers", 3 * kBufferSize + 17, {1}},
    {"blocks straddling the buffer's end", 3 * kBufferSize + 5, {1000}},
    {"blocks larger than the buffer", 5 * kBufferSize + 3, {2 * kBufferSize + 3}},
    {"bytes and blocks mixed", 6 * kBufferSize,
     {1, kBufferSize - 1, 1, kBufferSize, 7, kBufferSize + 1, 1, 1}},
};

// Writes `bytes` into a new file at `path`; the file must close cleanly.
void writeFile(const char *path, int compression, const Bytes &bytes,
               const std::vector<size_t> &pieces = {1000}) {
    XIO_File *file = XIO_open(path, XIO_WRITE, compression);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(feed(file, bytes, pieces));
    EXPECT_EQ(XIO_close(file), 0);
}

TEST(XioWrite, PlainFileHoldsExactlyTheBytesWritten) {
    for (const FeedCase &c : kFeedCases) {
        SCOPED_TRACE(c.name);
        TempPath path;
        Bytes bytes = pattern(c.size);
        writeFile(path.c_str(), XIO_PLAIN, bytes, c.pieces);
        EXPECT_EQ(kvgtest::readFile(path.str()), bytes);
    }
}

TEST(XioWrite, GzipFileDecompressesToTheBytesWritten) {
    for (const FeedCase &c : kFeedCases) {
        SCOPED_TRACE(c.name);
        TempPath path(".kvg.gz");
        Bytes bytes = pattern(c.size);
        writeFile(path.c_str(), XIO_ZLIB, bytes, c.pieces);
        Bytes stored = kvgtest::readFile(path.str());
        ASSERT_GE(stored.size(), 2u);
        EXPECT_EQ(stored[0], 0x1f);
        EXPECT_EQ(stored[1], 0x8b);
        EXPECT_EQ(kvgtest::readGzipFile(path.str()), bytes);
    }
}

TEST(XioWrite, ZcatReproducesTheBytesWritten) {
    if (std::system("command -v zcat >/dev/null 2>&1") != 0) GTEST_SKIP() << "no zcat";
    TempPath path(".kvg.gz");
    Bytes bytes = pattern(2 * kBufferSize + 99);
    writeFile(path.c_str(), XIO_ZLIB, bytes);
    FILE *pipe = popen(("zcat '" + path.str() + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    Bytes unpacked;
    for (int c; (c = std::fgetc(pipe)) != EOF;) unpacked.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(unpacked, bytes);
}

// Reads `file` as the writer copies its temporary file: 1024-byte blocks until XIO_eof.
Bytes readInBlocks(XIO_File *file) {
    Bytes bytes;
    unsigned char block[1024];
    while (!XIO_eof(file)) {
        size_t got = XIO_read(file, block, sizeof block);
        // Only the blocks at the end may come short.
        EXPECT_TRUE(got == sizeof block || XIO_eof(file)) << got << " bytes";
        bytes.insert(bytes.end(), block, block + got);
    }
    return bytes;
}

TEST(XioRead, ReadsBackInBlocksUntilEof) {
    const size_t kSizes[] = {0, 1, 1024, 1025, 3 * kBufferSize + 1};
    for (int compression : kCompressions) {
        for (size_t size : kSizes) {
            SCOPED_TRACE("compression " + std::to_string(compression) + ", " +
                         std::to_string(size) + " bytes");
            TempPath path;
            Bytes bytes = pattern(size);
            writeFile(path.c_str(), compression, bytes);
            XIO_File *file = XIO_open(path.c_str(), XIO_READ, compression);
            ASSERT_NE(file, nullptr);
            EXPECT_EQ(xioPutByte(file, 'x'), -1);  // a reader takes no bytes
            EXPECT_EQ(readInBlocks(file), bytes);
            EXPECT_EQ(XIO_close(file), 0);
        }
    }
}

// A failed read must end the file (a copy loop waiting for XIO_eof would never stop) and be
// reported by XIO_close.
TEST(XioRead, FailedReadEndsTheFileAndFailsTheClose) {
    TempPath damaged(".kvg.gz");
    writeFile(damaged.c_str(), XIO_ZLIB, pattern(100000));
    ASSERT_EQ(truncate(damaged.c_str(), 1000), 0);
    const struct {
        const char *path;
        int compression;
    } cases[] = {{damaged.c_str(), XIO_ZLIB}, {"/", XIO_PLAIN}};  // cut short; a directory
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        XIO_File *file = XIO_open(c.path, XIO_READ, c.compression);
        ASSERT_NE(file, nullptr);
        readInBlocks(file);
        EXPECT_EQ(XIO_close(file), -1);
    }
}

TEST(XioFailure, OpenInMissingDirectoryReturnsNull) {
    for (int compression : kCompressions) {
        for (int mode : {XIO_READ, XIO_WRITE}) {
            EXPECT_EQ(XIO_open("/nonexistent-xio-dir/file.kvg", mode, compression), nullptr);
        }
    }
    char name_template[] = "/nonexistent-xio-dir/tmpXXXXXX";
    EXPECT_EQ(XIO_openTemporary(name_template), nullptr);
}

// After the first failed write every later write fails, and so does the close.
void expectStickyFailure(XIO_File *file) {
    Bytes block(2 * kBufferSize);
    EXPECT_EQ(xioPutByte(file, 'a'), -1);
    EXPECT_EQ(XIO_putc(file, 'b'), -1);
    EXPECT_EQ(XIO_write(file, block.data(), 10), 0u);
    EXPECT_EQ(XIO_write(file, block.data(), block.size()), 0u);
    EXPECT_EQ(XIO_close(file), -1);
}

TEST(XioFailure, FullDeviceFailsEveryWriteAfterTheFirstFailure) {
    // The first failure comes from a drain of the inline cursor's buffer, or from a block too
    // large for the buffer, written at once.
    const std::vector<size_t> feeds[] = {{1}, {kBufferSize + 1}};
    for (int compression : kCompressions) {
        for (const std::vector<size_t> &pieces : feeds) {
            SCOPED_TRACE("compression " + std::to_string(compression) + ", pieces of " +
                         std::to_string(pieces[0]));
            XIO_File *file = XIO_open("/dev/full", XIO_WRITE, compression);
            ASSERT_NE(file, nullptr);
            EXPECT_FALSE(feed(file, pattern(16 * kBufferSize), pieces));
            expectStickyFailure(file);
        }
    }
}

TEST(XioFailure, FullDeviceFailsTheCloseOfABufferedFile) {
    for (int compression : kCompressions) {
        SCOPED_TRACE("compression " + std::to_string(compression));
        XIO_File *file = XIO_open("/dev/full", XIO_WRITE, compression);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(feed(file, pattern(10), {1}));
        EXPECT_EQ(XIO_close(file), -1);
    }
}

TEST(XioTemporary, CreatesNewPrivateFilesUnderUniqueNames) {
    TempPath base("-XXXXXX");
    std::vector<std::string> names;
    std::vector<Bytes> contents;
    for (size_t i = 0; i < 20; ++i) {
        std::string name = base.str();
        XIO_File *file = XIO_openTemporary(name.data());
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(name.size(), base.str().size());
        EXPECT_EQ(name.find("XXXXXX"), std::string::npos);
        struct stat status {};
        EXPECT_EQ(stat(name.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        names.push_back(name);
        contents.push_back(pattern(i * 1000));
        EXPECT_TRUE(feed(file, contents.back(), {1}));
        EXPECT_EQ(XIO_close(file), 0);
    }
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    // No later file took over and truncated an earlier one.
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(kvgtest::readFile(names[i]), contents[i]) << names[i];
        std::remove(names[i].c_str());
    }
    char no_placeholder[] = "/tmp/xio-no-placeholder";
    EXPECT_EQ(XIO_openTemporary(no_placeholder), nullptr);
}

// A scratch file is written, then read back from its start, whole, in several buffers' worth;
// it never has a name in TMPDIR.
TEST(XioScratch, ReadsBackWhatWasWrittenAndIsNeverNamed) {
    TempPath dir("-tmp");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    kvgtest::ScopedEnv tmpdir("TMPDIR", dir.str());
    XIO_File *file = XIO_openScratch();
    ASSERT_NE(file, nullptr);
    const Bytes bytes = pattern(3 * kBufferSize + 17);
    EXPECT_TRUE(feed(file, bytes, {1, 1000, kBufferSize}));
    EXPECT_TRUE(kvgtest::directoryEntries(dir.str()).empty());
    ASSERT_EQ(XIO_reread(file), 0);
    Bytes back(bytes.size() + 10);
    EXPECT_EQ(XIO_read(file, back.data(), back.size()), bytes.size());
    back.resize(bytes.size());
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(XIO_eof(file), 1);
    EXPECT_EQ(XIO_putc(file, 'x'), -1) << "it is read now";
    EXPECT_EQ(XIO_close(file), 0);
    EXPECT_TRUE(kvgtest::directoryEntries(dir.str()).empty());
    rmdir(dir.c_str());
}

class XioFault : public ::testing::Test {
protected:
    void TearDown() override { XIO_setFaultInjection(0, 0, 0); }
};

TEST_F(XioFault, FailsTheChosenDrainAndEveryWriteAfterIt) {
    TempPath path;
    XIO_File *file = XIO_open(path.c_str(), XIO_WRITE, XIO_PLAIN);
    ASSERT_NE(file, nullptr);
    XIO_setFaultInjection(2, 0, 0);
    Bytes bytes = pattern(3 * kBufferSize);
    // The second drain comes with the first byte beyond two buffers.
    EXPECT_TRUE(feed(file, Bytes(bytes.begin(), bytes.begin() + 2 * kBufferSize), {1}));
    expectStickyFailure(file);
    EXPECT_EQ(kvgtest::readFile(path.str()), Bytes(bytes.begin(), bytes.begin() + kBufferSize));
}

TEST_F(XioFault, FailsTheEndOfAGzipStream) {
    TempPath path(".kvg.gz");
    XIO_File *file = XIO_open(path.c_str(), XIO_WRITE, XIO_ZLIB);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(feed(file, pattern(10), {1}));
    XIO_setFaultInjection(1, 0, 0);
    EXPECT_EQ(XIO_close(file), -1);
    EXPECT_TRUE(kvgtest::readFile(path.str()).empty());
}

TEST_F(XioFault, FailsTheChosenCloseOnceAfterWritingEverything) {
    TempPath first, second;
    Bytes bytes = pattern(100);
    XIO_setFaultInjection(0, 1, 0);
    XIO_File *file = XIO_open(first.c_str(), XIO_WRITE, XIO_PLAIN);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(feed(file, bytes, {1}));
    EXPECT_EQ(XIO_close(file), -1);
    EXPECT_EQ(kvgtest::readFile(first.str()), bytes);
    writeFile(second.c_str(), XIO_PLAIN, bytes);
}

TEST_F(XioFault, AScratchFileWhoseWriteFailedCannotBeReread) {
    XIO_File *file = XIO_openScratch();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(feed(file, pattern(100), {1}));
    XIO_setFaultInjection(1, 0, 0);
    EXPECT_EQ(XIO_reread(file), -1);
    EXPECT_EQ(XIO_close(file), -1);
}

TEST_F(XioFault, FailsTheChosenOpenWithoutCreatingAFile) {
    TempPath paths[3];
    XIO_setFaultInjection(0, 0, 2);
    for (size_t i = 0; i < 3; ++i) {
        XIO_File *file = XIO_open(paths[i].c_str(), XIO_WRITE, XIO_PLAIN);
        EXPECT_EQ(file == nullptr, i == 1) << "open " << i + 1;
        EXPECT_EQ(access(paths[i].c_str(), F_OK) == 0, i != 1) << "open " << i + 1;
        if (file != nullptr) {
            EXPECT_EQ(XIO_close(file), 0);
        }
    }
}

}  // namespace
