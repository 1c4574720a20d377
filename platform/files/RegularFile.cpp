#include "platform/files/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string RegularFile::why() const {
    return notRegular ? std::string("not a regular file") : std::string(std::strerror(error));
}

RegularFile openRegularFile(const std::string& path, int flags) {
    RegularFile file;
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        file.error = errno;
        // A folder opened for writing, or a FIFO without a reader opened
        // write-only, fails the open itself; it is still the wrong kind.
        struct stat st {};
        file.notRegular = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
        return file;
    }
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        file.error = known ? EINVAL : errno;
        file.notRegular = known;
        ::close(fd);
        return file;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.fd = fd;
    file.size = uint64_t(st.st_size);
    return file;
}
