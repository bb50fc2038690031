// The system calls of XIO: the only code that opens, writes, reads and closes descriptors, and
// the place where tests inject failures (xio_fault.h). Internal to the library.
#ifndef XIO_POSIX_H
#define XIO_POSIX_H

#include <sys/types.h>

#include <cstddef>

// Each returns a new descriptor, or -1.
int xioOpenForReading(const char *name);
int xioOpenForWriting(const char *name);             // created or truncated
int xioCreateTemporary(char *name_template);         // mkstemp: a new file, mode 0600
// A new file `name` in the directory `dir_fd` with the permissions `mode` less the umask; -1
// with EEXIST when the name is taken.
int xioCreateIn(int dir_fd, const char *name, mode_t mode);
// A new file without a name (O_TMPFILE) on the file system of the directory `dir_fd`, with the
// permissions `mode` less the umask; -1 with EOPNOTSUPP where the system cannot make one.
int xioCreateUnnamedIn(int dir_fd, mode_t mode);
// A scratch file for reading and writing in $TMPDIR (or the system's temporary directory),
// mode 0600, that has no name from the start, or loses it at once: nothing of it outlives the
// process, however it ends.
int xioCreateScratch();
// Gives the unnamed file `fd` the name `name` in the directory `dir_fd`; false, with EEXIST
// when the name is taken.
bool xioLinkIn(int fd, int dir_fd, const char *name);
// Moves the file position back to the start; false when it cannot.
bool xioRewind(int fd);

// Writes the whole block; false when any part cannot be written.
bool xioWriteAll(int fd, const unsigned char *data, size_t size);
// Reads up to `size` bytes: the count read, 0 at the end, -1 on failure.
ssize_t xioRead(int fd, unsigned char *data, size_t size);
// Releases the descriptor in every case; false when the close reports a failure.
bool xioClose(int fd);
// Puts the file's data on the disk (fdatasync); false when it cannot.
bool xioSync(int fd);
// Renames `from` over `to`, both in the directory `dir_fd`, in one step.
bool xioRename(int dir_fd, const char *from, const char *to);

#endif  // XIO_POSIX_H
