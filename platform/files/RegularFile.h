// Opening a file that has to be a regular one (a recording to play or mend,
// a kept picture file, a card's feed) so that a FIFO, a device or a folder
// in its place never holds the caller: the open itself does not block (a
// FIFO without a writer answers at once), anything but a regular file is
// refused, and the descriptor handed back blocks again for ordinary reads
// and writes.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <cstdint>
#include <string>

struct RegularFile {
    int fd = -1;             // open, blocking, close-on-exec; the caller closes it
    uint64_t size = 0;       // the file's size when it was opened
    bool notRegular = false; // refused: something other than a regular file is there
    int error = 0;           // errno of a failed open (EINVAL when not regular)

    bool ok() const { return fd >= 0; }
    // Why it could not be opened: the system's text, or "not a regular file".
    std::string why() const;
};

// flags: O_RDONLY, O_WRONLY or O_RDWR (O_NONBLOCK, O_NOCTTY and O_CLOEXEC are
// added); an interrupted open is tried again.
RegularFile openRegularFile(const std::string& path, int flags);
