// Reading and writing the bytes of an INI file.
//
// TIniTextReader splits a file into lines the way INI files are read: a CR,
// a CR LF or a lone LF ends a line (so files written on any system read
// alike), and a byte 26 (Ctrl-Z) ends the data. It reads through a buffer of
// a given size, so memory stays bounded however long the file is. Only a
// regular file is read; opening never blocks.
//
// TIniFileWriter writes a new file image. For a plain file with one link in
// a folder this process may write, the bytes go to a new file beside the
// target, are flushed to the disk and only then renamed over the target in
// one step: a crash, a kill or a full disk at any point leaves either the
// old file or the new one, never a torn or empty file. Any other existing
// target (hard-linked, or in a folder that cannot be written) is rewritten
// in place, keeping its identity and its other names.
//
// Every operating-system failure is raised as EInOutError, which carries the
// system's error number and text. Both classes are used by one thread at a
// time.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class EInOutError : public std::runtime_error {
public:
    // action: what was being done, e.g. "read" ("Cannot read x.ini: ...").
    EInOutError(int errorCode, const std::string& fileName, const std::string& action);
    // errno of the failing call.
    int ErrorCode() const { return errorCode_; }
    const std::string& FileName() const { return fileName_; }

private:
    int errorCode_;
    std::string fileName_;
};

class TIniTextReader {
public:
    // Opens the file; bufferSize 0 picks a default. Raises EInOutError when the
    // file exists but cannot be opened. Missing() is true when it does not
    // exist, and the reader then yields no lines.
    TIniTextReader(const std::string& fileName, size_t bufferSize);
    ~TIniTextReader();
    TIniTextReader(const TIniTextReader&) = delete;
    TIniTextReader& operator=(const TIniTextReader&) = delete;

    bool Missing() const { return fd_ < 0; }

    // The next line without its line end; false at the end of the data. The
    // view is valid until the next call. Raises EInOutError on a read failure.
    bool ReadLine(std::string_view& line);

private:
    bool refill();

    std::string fileName_;
    int fd_ = -1;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    std::string carry_;     // a line that spans buffer refills
    bool skipLF_ = false;   // the last byte seen was a CR at a buffer's end
    bool atEnd_ = false;    // no more bytes (end of file or Ctrl-Z)
    bool lineOpen_ = false; // carry_ holds the start of an unfinished line
};

class TIniFileWriter {
public:
    // Creates the new file beside fileName (following a symbolic link to the
    // file it names). bufferSize 0 picks a default.
    TIniFileWriter(const std::string& fileName, size_t bufferSize);
    // Without a successful Commit the new file is removed and the target is
    // left as it was.
    ~TIniFileWriter();
    TIniFileWriter(const TIniFileWriter&) = delete;
    TIniFileWriter& operator=(const TIniFileWriter&) = delete;

    void Write(std::string_view text);
    // text followed by CR LF.
    void WriteLine(std::string_view text);
    // Flushes, syncs and renames the new file over the target (in place:
    // cuts the file to the new image and syncs it).
    void Commit();
    bool InPlace() const { return inPlace_; }

    // Removes the temporary files that writers of processes no longer
    // running left beside fileName (a kill during a flush); returns how many.
    static int RemoveStaleTemporaries(const std::string& fileName);

private:
    void flushBuffer();
    [[noreturn]] void fail(int errorCode, const char* action);
    void discard();

    std::string fileName_;
    std::string target_;
    std::string tempName_;
    int fd_ = -1;
    std::vector<char> buffer_;
    size_t used_ = 0;
    size_t written_ = 0;
    bool inPlace_ = false;
};
