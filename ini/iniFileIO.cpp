#include "ini/iniFileIO.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kDefaultBuffer = 4096;

std::string errorText(int errorCode) {
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    return text ? text : "unknown error";
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

EInOutError::EInOutError(int errorCode, const std::string& fileName, const std::string& action)
    : std::runtime_error("Cannot " + action + " " + fileName + ": " + errorText(errorCode)),
      errorCode_(errorCode), fileName_(fileName) {}

// --- reading ---------------------------------------------------------------

TIniTextReader::TIniTextReader(const std::string& fileName, size_t bufferSize)
    : fileName_(fileName) {
    // Non-blocking, so that a FIFO or a device named as the file cannot hang
    // the reader; only a regular file is read.
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno == ENOENT)
            return;
        throw EInOutError(errno, fileName, "open");
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd_);
        fd_ = -1;
        throw EInOutError(e, fileName, "read");
    }
    buffer_.resize(bufferSize > 0 ? bufferSize : kDefaultBuffer);
}

TIniTextReader::~TIniTextReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TIniTextReader::refill() {
    for (;;) {
        ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError(errno, fileName_, "read");
        }
        pos_ = 0;
        end_ = static_cast<size_t>(n);
        return n > 0;
    }
}

bool TIniTextReader::ReadLine(std::string_view& line) {
    if (fd_ < 0)
        return false;
    if (!lineOpen_)
        carry_.clear();
    for (;;) {
        if (pos_ == end_) {
            if (atEnd_ || !refill()) {
                atEnd_ = true;
                if (lineOpen_) {
                    lineOpen_ = false;
                    line = carry_;
                    return true;
                }
                return false;
            }
        }
        if (skipLF_) {
            skipLF_ = false;
            if (buffer_[pos_] == '\n') {
                ++pos_;
                continue;
            }
        }
        const char* start = buffer_.data() + pos_;
        const size_t avail = end_ - pos_;
        // A line ends at a CR, a CR LF or a lone LF.
        const char* stop = start;
        const char* const limit = start + avail;
        while (stop < limit && *stop != '\r' && *stop != '\n')
            ++stop;
        const bool ended = stop < limit;
        const size_t span = static_cast<size_t>(stop - start);
        const char* eof = static_cast<const char*>(std::memchr(start, 26, span));
        if (eof) {
            // Ctrl-Z: the data ends here; what came before is the last line.
            size_t n = static_cast<size_t>(eof - start);
            atEnd_ = true;
            pos_ = end_;
            if (lineOpen_) {
                carry_.append(start, n);
                lineOpen_ = false;
                line = carry_;
            } else {
                line = std::string_view(start, n);
            }
            return true;
        }
        if (!ended) {
            carry_.append(start, avail);
            lineOpen_ = true;
            pos_ = end_;
            continue;
        }
        pos_ += span + 1;
        if (*stop == '\r') {
            if (pos_ < end_) {
                if (buffer_[pos_] == '\n')
                    ++pos_;
            } else {
                skipLF_ = true;
            }
        }
        if (lineOpen_) {
            carry_.append(start, span);
            lineOpen_ = false;
            line = carry_;
        } else {
            line = std::string_view(start, span);
        }
        return true;
    }
}

// --- writing ---------------------------------------------------------------

TIniFileWriter::TIniFileWriter(const std::string& fileName, size_t bufferSize)
    : fileName_(fileName), target_(fileName) {
    // Replace the file a symbolic link points to, not the link itself.
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(fileName.c_str(), nullptr)) {
            target_ = real;
            std::free(real);
        }
    }
    // Replacing by rename is safe only for a plain file with one name in a
    // folder this process may write: anything else (a hard-linked file, a
    // writable file in a read-only folder) is rewritten in place, so the
    // other names keep seeing it and the write can succeed at all.
    if (::stat(target_.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_nlink > 1 ||
                                              ::access(folderOf(target_).c_str(), W_OK) != 0)) {
        inPlace_ = true;
        // Non-blocking: a FIFO without a reader fails instead of hanging.
        fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            throw EInOutError(errno, fileName_, "create");
        if (!S_ISREG(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            throw EInOutError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, fileName_, "write");
        }
        buffer_.resize(bufferSize > 0 ? bufferSize : kDefaultBuffer);
        return;
    }
    static std::atomic<unsigned> counter{0};
    const std::string stem =
        folderOf(target_) + "/." + baseOf(target_) + ".tmp" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName_ = stem + std::to_string(counter.fetch_add(1));
        fd_ = ::open(tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        int e = errno;
        tempName_.clear();
        throw EInOutError(e, fileName_, "create");
    }
    // The new file takes over the permissions of the one it replaces.
    if (::stat(target_.c_str(), &st) == 0)
        (void)::fchmod(fd_, st.st_mode & 07777);
    buffer_.resize(bufferSize > 0 ? bufferSize : kDefaultBuffer);
}

TIniFileWriter::~TIniFileWriter() {
    discard();
}

void TIniFileWriter::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        ::unlink(tempName_.c_str());
        tempName_.clear();
    }
}

void TIniFileWriter::fail(int errorCode, const char* action) {
    discard();
    throw EInOutError(errorCode, fileName_, action);
}

void TIniFileWriter::flushBuffer() {
    size_t done = 0;
    while (done < used_) {
        ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno, "write");
        }
        if (n == 0)
            fail(ENOSPC, "write");
        done += static_cast<size_t>(n);
    }
    written_ += used_;
    used_ = 0;
}

void TIniFileWriter::Write(std::string_view text) {
    if (fd_ < 0)
        throw EInOutError(EBADF, fileName_, "write");
    while (!text.empty()) {
        if (used_ == buffer_.size())
            flushBuffer();
        size_t n = std::min(text.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
}

void TIniFileWriter::WriteLine(std::string_view text) {
    Write(text);
    Write("\r\n");
}

void TIniFileWriter::Commit() {
    if (fd_ < 0)
        throw EInOutError(EBADF, fileName_, "write");
    flushBuffer();
    // In place: whatever the old file had beyond the new image goes.
    if (inPlace_ && ::ftruncate(fd_, off_t(written_)) != 0)
        fail(errno, "write");
    if (::fsync(fd_) != 0)
        fail(errno, "write");
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail(errno, "write");
    if (inPlace_)
        return;
    if (::rename(tempName_.c_str(), target_.c_str()) != 0)
        fail(errno, "replace");
    tempName_.clear();
    // Make the rename itself durable; a failure here leaves a complete file
    // either way, so it is not reported.
    int dir = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

int TIniFileWriter::RemoveStaleTemporaries(const std::string& fileName) {
    std::string target = fileName;
    if (char* real = ::realpath(fileName.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    const std::string prefix = "." + baseOf(target) + ".tmp";
    const std::string folder = folderOf(target);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // ".<name>.tmp<pid>-<n>": left by a process that no longer runs.
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || !end || *end != '-' || pid == long(::getpid()))
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        if (::unlink((folder + "/" + name).c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}
