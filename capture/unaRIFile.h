// unaRIFile and unaRIFFChunk: a RIFF file parsed in place as a tree of chunks.
//
// The file is mapped read-only (unaMappedFile) and never changed: a file too
// short to be mapped without padding is read into memory instead, and a
// missing file gives no root. Chunks point into that view. "RIFF" and "LIST"
// chunks are containers whose children start 12 bytes after the container's
// header and follow each other on even offsets. An RF64 file ("RF64" root
// with a leading "ds64" chunk) is read like a RIFF file: a root or "data"
// size of 0xFFFFFFFF stands for the 64-bit size the ds64 chunk holds, so
// offsets and sizes are 64-bit throughout.
//
// Every chunk is bounded by what its parent really holds (maxSize): whatever
// sizes a file declares, no pointer and no length handed out reaches past the
// end of the view. Containers nested deeper than kMaxDepth are kept as plain
// chunks, so hostile files cannot exhaust the stack.
//
// Threads: built and parsed by one thread; afterwards the tree is read-only
// and may be read by any thread while the file object lives.
#pragma once

#include "core/unaMappedMemory.h"
#include "core/unaObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class unaRIFile;

class unaRIFFChunk : public unaObject {
public:
    static constexpr uint32_t kMaxDepth = 32;

    // maxSize: bytes from offset to the end of the parent's extent (at least
    // 8). Containers are parsed at once.
    unaRIFFChunk(unaRIFile* file, uint64_t offset, uint64_t maxSize, unaRIFFChunk* parent);

    // Compares the 4-byte id with four characters.
    bool idIs(const char* id) const;
    std::string id() const;
    // The size the chunk header declares (the ds64 size for an RF64 root or
    // data chunk whose 32-bit size reads 0xFFFFFFFF).
    uint64_t size() const;
    // The bytes of data really there: the declared size, cut to what the
    // parent holds after the 8-byte header.
    uint64_t dataSize() const;
    const uint8_t* header() const { return header_; }
    const uint8_t* data() const { return header_ + 8; }

    uint64_t offset() const { return offset_; }
    uint64_t maxSize() const { return maxSize_; }
    bool isContainer() const { return isContainer_; }
    // Four-character form or list type of a container ("" for a leaf).
    std::string listType() const;

    // (Re)builds the children of a container.
    void parse();
    uint32_t childCount() const { return uint32_t(subChunks_.size()); }
    unaRIFFChunk* child(uint32_t index) const {
        return index < subChunks_.size() ? subChunks_[index].get() : nullptr;
    }
    unaRIFFChunk* parent() const { return parent_; }
    unaRIFile* file() const { return file_; }
    uint32_t depth() const { return depth_; }

private:
    unaRIFile* file_;
    unaRIFFChunk* parent_;
    uint64_t offset_;
    uint64_t maxSize_;
    uint32_t depth_;
    bool isContainer_ = false;
    const uint8_t* header_;
    std::vector<std::unique_ptr<unaRIFFChunk>> subChunks_;
};

class unaRIFile : public unaObject {
public:
    // Maps the named file for reading.
    explicit unaRIFile(const std::string& fileName, uint32_t protection = PAGE_READONLY);
    // Parses a copy of bytes held in memory.
    unaRIFile(const void* data, uint64_t size);
    ~unaRIFile() override;

    // True when there is a root chunk whose id is "RIFF" or "RF64".
    bool isRiff() const;
    bool isRf64() const { return rf64_; }
    unaRIFFChunk* root() const { return root_.get(); }
    const uint8_t* data() const { return data_; }
    uint64_t size() const { return size_; }
    // RF64 sizes from the ds64 chunk (0 when not RF64).
    uint64_t ds64RiffSize() const { return ds64Riff_; }
    uint64_t ds64DataSize() const { return ds64Data_; }

private:
    void parseRoot();

    std::unique_ptr<unaMappedFile> mapping_;
    std::vector<uint8_t> copy_; // short files and memory images
    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    bool rf64_ = false;
    uint64_t ds64Riff_ = 0;
    uint64_t ds64Data_ = 0;
    std::unique_ptr<unaRIFFChunk> root_;
};
