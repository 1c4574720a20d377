#include "platform/files/RegularFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// Every case answers at once: a FIFO without a peer would block an ordinary
// open forever, and the test with it.
TEST(RegularFile, OnlyARegularFileOpensAndNothingElseHoldsTheCaller) {
    const fs::path dir =
        fs::temp_directory_path() / ("sonvale-regular-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string file = (dir / "take.wav").string();
    std::ofstream(file, std::ios::binary) << "RIFF1234";
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    for (int flags : {O_RDONLY, O_RDWR}) {
        RegularFile f = openRegularFile(file, flags);
        ASSERT_TRUE(f.ok()) << f.why();
        EXPECT_EQ(f.size, 8u);
        const int status = ::fcntl(f.fd, F_GETFL);
        EXPECT_EQ(status & O_NONBLOCK, 0) << "reads and writes block again";
        EXPECT_EQ(status & O_ACCMODE, flags);
        EXPECT_NE(::fcntl(f.fd, F_GETFD) & FD_CLOEXEC, 0);
        ::close(f.fd);
    }

    // The wrong kind, whether or not the open itself succeeds: a FIFO read
    // without a writer (opens), written without a reader (ENXIO), a folder
    // read (opens) or written (EISDIR).
    for (const auto& [path, flags] :
         {std::pair{fifo, O_RDONLY}, std::pair{fifo, O_WRONLY}, std::pair{dir.string(), O_RDONLY},
          std::pair{dir.string(), O_RDWR}}) {
        const RegularFile f = openRegularFile(path, flags);
        EXPECT_FALSE(f.ok()) << path << ' ' << flags;
        EXPECT_TRUE(f.notRegular) << path << ' ' << flags;
        EXPECT_EQ(f.why(), "not a regular file");
    }

    const RegularFile missing = openRegularFile((dir / "gone.wav").string(), O_RDONLY);
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.notRegular);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(missing.why(), std::strerror(ENOENT));
    fs::remove_all(dir);
}

} // namespace
