// Failures of the file layer, seen through the engine: nothing a failing
// load or flush does may damage the file on disk.
#include "ini/TIniEngine.h"

#include "IniTestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kOld = "[RecordFile]\r\nRecordFileCount=1\r\nRecordFile0=/music/a.mp3\r\n\r\n";

size_t filesIn(const std::string& folder) {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

// Runs body where the folder cannot be written: in a child process without
// root's rights when the tests run as root (root writes anywhere). Returns
// the child's verdict, or runs body in place for other users.
bool withoutWriteRights(const std::string& folder, const std::function<bool()>& body) {
    chmod(folder.c_str(), 0555);
    bool result = false;
    if (geteuid() != 0) {
        result = body();
    } else {
        pid_t child = fork();
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
            _exit(body() ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        result = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    chmod(folder.c_str(), 0755);
    return result;
}

TEST(IniFileFailures, FlushIntoAReadOnlyFolderKeepsTheOldFile) {
    TempFolder folder;
    chmod(folder.path().c_str(), 0755);
    const std::string path = folder.file("app.ini");
    writeBytes(path, kOld);
    chmod(path.c_str(), 0644);

    bool asExpected = withoutWriteRights(folder.path(), [&] {
        TIniEngine ini(path);
        ini.WriteInteger("RecordFile", "RecordFileCount", 0);
        try {
            ini.FlushFile();
            return false;
        } catch (const EInOutError& e) {
            return e.ErrorCode() == EACCES && ini.Modified() &&
                   std::string(e.what()).find("Permission denied") != std::string::npos;
        }
    });
    EXPECT_TRUE(asExpected);
    EXPECT_EQ(readBytes(path), kOld);
    EXPECT_EQ(filesIn(folder.path()), 1u);
}

// Makes every file write beyond limit bytes fail, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit l = saved_;
        l.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

TEST(IniFileFailures, FullDiskDuringFlushKeepsTheOldFileAndModified) {
    TempFolder folder;
    const std::string path = folder.file("app.ini");
    writeBytes(path, kOld);
    TIniEngine ini(path);
    ini.setTextBufferSize(512);
    for (int i = 0; i < 200; ++i)
        ini.WriteString("RecordFile", "RecordFile" + std::to_string(i), std::string(40, 'x'));
    {
        FileSizeLimit limit(2000);
        EXPECT_THROW(ini.FlushFile(), EInOutError);
    }
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(readBytes(path), kOld);
    EXPECT_EQ(filesIn(folder.path()), 1u);
    ini.FlushFile(); // space again: the pending change is written
    EXPECT_FALSE(ini.Modified());
    TIniEngine again(path);
    EXPECT_EQ(again.ReadString("RecordFile", "RecordFile199", ""), std::string(40, 'x'));
}

TEST(IniFileFailures, UnreadableFileFailsConstructionWithTheSystemText) {
    TempFolder folder;
    const std::string sub = folder.file("folder.ini");
    std::filesystem::create_directory(sub);
    try {
        TIniEngine ini(sub);
        FAIL() << "a folder loaded as a file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), EISDIR);
        EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos);
        EXPECT_EQ(e.FileName(), sub);
    }
}

TEST(IniFileFailures, FailedSetFileNameNeverOverwritesTheUnreadFile) {
    TempFolder folder;
    const std::string good = folder.file("good.ini");
    const std::string bad = folder.file("bad.ini");
    std::filesystem::create_directory(bad);
    TIniEngine ini(good);
    EXPECT_THROW(ini.SetFileName(bad), EInOutError);
    EXPECT_EQ(ini.FileName(), "");
    ini.WriteString("S", "k", "v");
    ini.FlushFile(); // untied: writes nowhere
    EXPECT_TRUE(std::filesystem::is_directory(bad));
    EXPECT_FALSE(std::filesystem::exists(good));
}

TEST(IniFileFailures, FlushThroughALinkReplacesTheTargetAndKeepsItsRights) {
    TempFolder folder;
    const std::string real = folder.file("real.ini");
    const std::string link = folder.file("link.ini");
    writeBytes(real, kOld);
    chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, link);
    {
        TIniEngine ini(link);
        ini.WriteString("New", "k", "v");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readBytes(real), kOld + "[New]\r\nk=v\r\n\r\n");
    struct stat st {};
    stat(real.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(filesIn(folder.path()), 2u);
}

TEST(IniFileFailures, NewFileFollowsTheUmask) {
    TempFolder folder;
    const std::string path = folder.file("fresh.ini");
    mode_t old = umask(022);
    {
        TIniEngine ini(path);
        ini.WriteString("S", "k", "v");
    }
    umask(old);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

} // namespace

TEST(IniFileFailures, HardLinkedOrUnrenameableFilesAreRewrittenInPlace) {
    TempFolder folder;
    chmod(folder.path().c_str(), 0755);
    const std::string path = folder.file("app.ini");
    const std::string link = folder.file("shared.ini");
    writeBytes(path, kOld);
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    struct stat before {};
    ::stat(path.c_str(), &before);
    {
        TIniEngine ini(path);
        ini.WriteInteger("RecordFile", "RecordFileCount", 0);
        ini.DeleteKey("RecordFile", "RecordFile0");
        ini.FlushFile();
    }
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the link was split";
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(readBytes(link), readBytes(path));
    EXPECT_EQ(readBytes(path), "[RecordFile]\r\nRecordFileCount=0\r\n\r\n")
        << "the old tail is cut off";

    // A file anyone may write, in a folder this user cannot write.
    ::unlink(link.c_str());
    chmod(path.c_str(), 0666);
    const bool written = withoutWriteRights(folder.path(), [&] {
        TIniEngine ini(path);
        ini.WriteString("Options", "SaveDir", "/tmp/");
        ini.FlushFile();
        return true;
    });
    EXPECT_TRUE(written);
    EXPECT_NE(readBytes(path).find("SaveDir=/tmp/"), std::string::npos);
    EXPECT_EQ(filesIn(folder.path()), 1u);
}

TEST(IniFileFailures, AFifoNamedAsTheFileFailsAtOnceAndStaleTemporariesAreRemoved) {
    TempFolder folder;
    const std::string fifo = folder.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(TIniEngine ini(fifo), EInOutError); // no reader needed, no hang

    const std::string path = folder.file("app.ini");
    writeBytes(path, kOld);
    // One left by a process that has ended, one by a process still running.
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = folder.file(".app.ini.tmp" + std::to_string(gone) + "-0");
    const std::string live = folder.file(".app.ini.tmp1-0");
    writeBytes(stale, kOld);
    writeBytes(live, kOld);
    EXPECT_EQ(TIniFileWriter::RemoveStaleTemporaries(path), 1);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_EQ(readBytes(path), kOld);
}
