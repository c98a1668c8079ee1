#include "base/file_replace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Says why a system call of the replacement failed ("<step>: <strerror>") and returns false.
bool failed(std::string& failure, const char* step, int error)
{
    failure = std::string(step) + ": " + std::strerror(error);
    return false;
}

// The process's file-creation mask. It can only be read by setting it; the program has one
// thread, so nothing can create a file in the moment between the two calls.
mode_t currentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Gives the new file the owner and group of the file it replaces, as far as the user may:
// root may set both, a member of the old file's group may set the group. Where neither is
// allowed the new file belongs to the user who saved it, as with any replacement of a file
// by a new one, so a refusal here does not stop the save.
void keepOwner(int fd, const struct stat& old)
{
    if (old.st_uid == geteuid() && old.st_gid == getegid()) {
        return;
    }
    if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        return;  // neither is allowed: keep the saving user's
    }
}

// Flushes the folder's entries after the rename, so that the new name survives a power cut.
// The file is in place already; a file system that refuses fsync on a folder leaves it so.
void syncFolder(const char* folder)
{
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

}  // namespace

int writeAllBytes(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;  // no progress and no error: never loop forever
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

bool replaceFile(const char* path, const std::uint8_t* data, std::size_t size, std::string& failure)
{
    if (!path || !*path) {
        failure = "no file name";
        return false;
    }
    // A symbolic link stays a link: the file that it names is replaced, as a plain write
    // through the link would do.
    char resolved[PATH_MAX];
    const char* target = path;
    struct stat old {};
    if (lstat(path, &old) == 0 && S_ISLNK(old.st_mode)) {
        if (!realpath(path, resolved)) {
            return failed(failure, "cannot follow the symbolic link", errno);
        }
        target = resolved;
    }
    const bool exists = stat(target, &old) == 0;
    if (!exists && errno != ENOENT) {
        return failed(failure, "cannot reach the file", errno);
    }
    if (exists && !S_ISREG(old.st_mode)) {
        failure = "something that is not a regular file has that name";
        return false;
    }
    // A write-protected file is not replaced behind the user's back: a plain write would
    // have been refused too.
    if (exists && access(target, W_OK) != 0) {
        return failed(failure, "the existing file is write-protected", errno);
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~currentUmask());

    // The temporary file sits in the target's folder, so that the rename is one step within
    // one file system; its short name fits the folder's limit whatever the target's name.
    static const char pattern[] = ".tarsola-save-XXXXXX";
    const char* slash = std::strrchr(target, '/');
    const std::size_t folderLength = slash ? static_cast<std::size_t>(slash - target) + 1 : 0;
    char temporary[PATH_MAX + sizeof pattern];
    if (folderLength + sizeof pattern > sizeof temporary) {
        return failed(failure, "cannot create a temporary file in its folder", ENAMETOOLONG);
    }
    std::memcpy(temporary, target, folderLength);
    std::memcpy(temporary + folderLength, pattern, sizeof pattern);
    const int fd = mkstemp(temporary);
    if (fd < 0) {
        return failed(failure, "cannot create a temporary file in its folder", errno);
    }

    const char* step = nullptr;
    int error = 0;
    if (exists) {
        keepOwner(fd, old);
    }
    if (fchmod(fd, mode) != 0) {
        error = errno;
        step = "cannot set the permissions of the new file";
    } else if ((error = writeAllBytes(fd, data, size)) != 0) {
        step = "cannot write the file";
    } else if (fsync(fd) != 0) {
        error = errno;
        step = "cannot flush the file to the disk";
    }
    if (close(fd) != 0 && !step) {
        error = errno;
        step = "cannot close the file";
    }
    if (!step && rename(temporary, target) != 0) {
        error = errno;
        step = "cannot put the new file in place of the old one";
    }
    if (step) {
        unlink(temporary);
        return failed(failure, step, error);
    }

    if (folderLength == 0) {
        syncFolder(".");
    } else {
        temporary[folderLength] = '\0';
        syncFolder(temporary);
    }
    return true;
}
