#include "ini/iniFileIO.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno == ENOENT)
            return;
        throw EInOutError(errno, fileName, "open");
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
        const char* cr = static_cast<const char*>(std::memchr(start, '\r', avail));
        const size_t span = cr ? static_cast<size_t>(cr - start) : avail;
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
        if (!cr) {
            carry_.append(start, avail);
            lineOpen_ = true;
            pos_ = end_;
            continue;
        }
        pos_ += span + 1;
        if (pos_ < end_) {
            if (buffer_[pos_] == '\n')
                ++pos_;
        } else {
            skipLF_ = true;
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
    if (::fsync(fd_) != 0)
        fail(errno, "write");
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail(errno, "write");
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
