// Where the output goes: a file is written beside its name, unnamed, and takes the name only
// when KVG_close completes it, with the permissions an ordinary create gives or the owner and
// permissions of the file it replaces from its creation on; links are followed; FIFOs and
// devices are written directly; KVG_abandon leaves the name as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "unit_writer.h"

namespace kvgtest {
namespace {

// A small whole file: what every test here writes.
void draw(KVG_File *fl) {
    ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
    ASSERT_EQ(KVG_line(fl, -50, -50, 50, 50), 0);
    ASSERT_EQ(KVG_text(fl, 0, 0, "replaced"), 0);
}

// The bytes of that file, written to a fresh name.
Bytes expectedBytes() {
    TempPath path;
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_File *fl = KVG_create(path.c_str(), opt.get());
    draw(fl);
    EXPECT_EQ(KVG_close(fl), 0);
    return readFile(path.str());
}

void writeTo(const std::string &name) {
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_File *fl = KVG_create(name.c_str(), opt.get());
    ASSERT_NE(fl, nullptr) << name;
    draw(fl);
    ASSERT_EQ(KVG_close(fl), 0) << KVG_getErrorDescription(fl);
}

mode_t permissionsOf(const std::string &path) {
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Sets the umask for one test.
class Umask {
public:
    explicit Umask(mode_t mask) : previous_(umask(mask)) {}
    ~Umask() { umask(previous_); }

private:
    mode_t previous_;
};

TEST(OutputReplacement, ANewFileGetsThePermissionsOfAnOrdinaryCreate) {
    for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        Umask set(mask);
        TempPath path;
        writeTo(path.str());
        EXPECT_EQ(permissionsOf(path.str()), 0666 & ~mask) << std::oct << mask;
    }
}

TEST(OutputReplacement, AReplacedFileKeepsItsPermissions) {
    Umask set(022);
    TempPath path;
    writeFile(path.str(), {'o', 'l', 'd'});
    ASSERT_EQ(chmod(path.c_str(), 0604), 0);
    writeTo(path.str());
    EXPECT_EQ(permissionsOf(path.str()), 0604u);
    EXPECT_EQ(readFile(path.str()), expectedBytes());
}

TEST(OutputReplacement, TheNameKeepsTheOldFileUntilTheCloseAndAfterAnAbandon) {
    TempPath path;
    const Bytes old{'o', 'l', 'd'};
    writeFile(path.str(), old);
    KVG_File *fl = KVG_create(path.c_str(), nullptr);
    ASSERT_NE(fl, nullptr);
    draw(fl);
    EXPECT_EQ(readFile(path.str()), old);
    EXPECT_TRUE(filesBeside(path.str()).empty()) << "the output has no name while written";
    KVG_abandon(fl);
    EXPECT_EQ(readFile(path.str()), old);
    EXPECT_TRUE(filesBeside(path.str()).empty());
    EXPECT_TRUE(leftoverTemporaryFiles().empty());

    // A new name never appears when its file is abandoned.
    TempPath fresh;
    fl = KVG_create(fresh.c_str(), nullptr);
    ASSERT_NE(fl, nullptr);
    draw(fl);
    KVG_abandon(fl);
    EXPECT_NE(access(fresh.c_str(), F_OK), 0);
    EXPECT_TRUE(filesBeside(fresh.str()).empty());
    KVG_abandon(nullptr);  // nothing to give up
}

// A process killed in the middle of a drawing, after part of the file reached the disk: the
// name keeps the old file, and nothing else stays behind, beside it or in TMPDIR.
TEST(OutputReplacement, AKilledProcessLeavesTheOldFileAndNothingElse) {
    TempPath path, scratch("-tmp");
    ASSERT_EQ(mkdir(scratch.c_str(), 0700), 0);
    const Bytes old{'o', 'l', 'd'};
    writeFile(path.str(), old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TMPDIR", scratch.c_str(), 1);
        std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
        KVG_File *fl = KVG_create(path.c_str(), opt.get());
        if (fl == nullptr) _exit(2);
        int32_t edge = 0;
        KVG_beginSetEdge(fl, &edge, 0, 0);
        for (int i = 1; i < 100000; ++i) KVG_vertexSetEdge(fl, (i % 100) - 50, (i % 37) - 18);
        KVG_endSetEdge(fl);  // far more than one buffer of definitions
        KVG_beginLayer(fl, "L", 1, 1);
        for (int i = 1; i < 100000; ++i) KVG_mark(fl, (i % 100) - 50, (i % 37) - 18);
        KVG_beginLayer(fl, "M", 1, 1);  // and of the layer section
        kill(getpid(), SIGKILL);
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(readFile(path.str()), old);
    EXPECT_TRUE(filesBeside(path.str()).empty());
    EXPECT_TRUE(directoryEntries(scratch.str()).empty());
    EXPECT_TRUE(temporaryFilesOf(child).empty());
    rmdir(scratch.c_str());
}

// Another user must not be able to open the new file while it is written: from its creation it
// has no permission the replaced file did not have, and only its owner may read the scratch
// file of the layer section.
TEST(OutputReplacement, TheNewFileIsPrivateFromItsCreation) {
    Umask set(022);
    TempPath path;
    writeFile(path.str(), {'o', 'l', 'd'});
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    CreationLog log;
    KVG_File *fl = KVG_create(path.c_str(), nullptr);
    ASSERT_NE(fl, nullptr);
    draw(fl);
    ASSERT_EQ(log.files().size(), 2u) << "the output and the layer section's scratch file";
    for (const CreatedFile &file : log.files()) {
        EXPECT_EQ(file.mode & 077, 0u) << std::oct << file.mode << " " << file.path;
    }
    EXPECT_TRUE(filesBeside(path.str()).empty());
    EXPECT_EQ(KVG_close(fl), 0);
    EXPECT_EQ(permissionsOf(path.str()), 0600u);
}

// Root replacing another user's file leaves it theirs, as writing it in place would.
TEST(OutputReplacement, AReplacedFileKeepsItsOwnerAndGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
    Umask set(022);
    TempPath path;
    writeFile(path.str(), {'o', 'l', 'd'});
    ASSERT_EQ(chown(path.c_str(), 1234, 2345), 0);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    writeTo(path.str());
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 2345u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(path.str()), expectedBytes());
}

TEST(OutputReplacement, AbandonAfterAFailedCloseReleasesTheHandle) {
    KVG_File *fl = KVG_create("/dev/full", nullptr);
    ASSERT_NE(fl, nullptr);
    draw(fl);
    EXPECT_EQ(KVG_close(fl), -1);
    KVG_abandon(fl);  // the sanitizer build sees a leak or a second release
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

// A file the process may not write is refused as opening it would be, although its directory
// would allow the rename. Root may write anything, so as root the check runs as another user.
TEST(OutputReplacement, AFileThatMayNotBeWrittenIsNotReplaced) {
    TempPath dir("-dir");
    ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);  // whatever the umask
    const std::string target = dir.str() + "/readonly.kvg";
    writeFile(target, {'o', 'l', 'd'});
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
        KVG_CreateError error;
        KVG_File *fl = KVG_createWithError(target.c_str(), nullptr, &error);
        _exit(fl == nullptr && error.system_error == EACCES ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(target), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(filesBeside(target).empty());
    std::remove(target.c_str());
}

TEST(OutputReplacement, ASymbolicLinkStaysAndItsFileIsReplaced) {
    TempPath target, link;
    writeFile(target.str(), {'o', 'l', 'd'});
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    writeTo(link.str());
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readFile(target.str()), expectedBytes());

    // A link to a name that does not exist yet creates the file it names.
    TempPath dangling_target, dangling;
    ASSERT_EQ(symlink(dangling_target.c_str(), dangling.c_str()), 0);
    writeTo(dangling.str());
    EXPECT_EQ(readFile(dangling_target.str()), expectedBytes());
}

TEST(OutputReplacement, ARelativeNameIsKeptWhenTheWorkingDirectoryChanges) {
    TempPath dir("-dir");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    KVG_File *fl = KVG_create("relative.kvg", nullptr);
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_NE(fl, nullptr);
    draw(fl);
    EXPECT_EQ(KVG_close(fl), 0);
    const std::string written = dir.str() + "/relative.kvg";
    EXPECT_EQ(access(written.c_str(), F_OK), 0);
    std::remove(written.c_str());
    rmdir(dir.c_str());
}

TEST(OutputReplacement, AFifoIsWrittenDirectly) {
    TempPath fifo;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&] { received = readFile(fifo.str()); });
    writeTo(fifo.str());
    reader.join();
    EXPECT_EQ(received, expectedBytes());
    struct stat info;
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO is not replaced";
}

// /dev/stdout leads to whatever the standard output is; here a regular file, which must be
// written through the descriptor (where a shell's redirection points), not replaced.
TEST(OutputReplacement, StandardOutputIsWrittenDirectly) {
    TempPath out;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(2);
        std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
        KVG_File *fl = KVG_create("/dev/stdout", opt.get());
        if (fl == nullptr) _exit(3);
        draw(fl);
        _exit(KVG_close(fl) == 0 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(out.str()), expectedBytes());
    EXPECT_TRUE(filesBeside(out.str()).empty());
}

TEST(OutputReplacement, ADeviceIsWrittenDirectly) {
    writeTo("/dev/null");
    struct stat info;
    ASSERT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

}  // namespace
}  // namespace kvgtest
