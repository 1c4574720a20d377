#include "capture/unaRIFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

uint32_t readU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // files are little-endian, as is every machine this runs on
}

} // namespace

// --- chunk -------------------------------------------------------------------------------

unaRIFFChunk::unaRIFFChunk(unaRIFile* file, uint32_t offset, uint32_t maxSize, unaRIFFChunk* parent)
    : file_(file), parent_(parent), offset_(offset), maxSize_(maxSize),
      depth_(parent ? parent->depth_ + 1 : 0), header_(file->data() + offset) {
    isContainer_ = (idIs("RIFF") || idIs("LIST")) && depth_ < kMaxDepth;
    if (isContainer_)
        parse();
}

bool unaRIFFChunk::idIs(const char* id) const {
    return std::memcmp(header_, id, 4) == 0;
}

std::string unaRIFFChunk::id() const {
    return std::string(reinterpret_cast<const char*>(header_), 4);
}

uint32_t unaRIFFChunk::size() const {
    return readU32(header_ + 4);
}

uint32_t unaRIFFChunk::dataSize() const {
    return std::min(size(), maxSize_ - 8);
}

std::string unaRIFFChunk::listType() const {
    if (!isContainer_ || maxSize_ < 12)
        return std::string();
    return std::string(reinterpret_cast<const char*>(header_ + 8), 4);
}

void unaRIFFChunk::parse() {
    subChunks_.clear();
    if (!isContainer_)
        return;
    const uint64_t limit = std::min<uint64_t>(maxSize_, uint64_t(size()) + 8);
    uint64_t pos = 12;
    while (pos + 8 <= limit) {
        auto child = std::make_unique<unaRIFFChunk>(file_, uint32_t(offset_ + pos),
                                                    uint32_t(limit - pos), this);
        const uint64_t step = std::min<uint64_t>(child->maxSize(), uint64_t(child->size()) + 8);
        subChunks_.push_back(std::move(child));
        pos += (step + 1) & ~uint64_t(1);
    }
}

// --- file --------------------------------------------------------------------------------

unaRIFile::unaRIFile(const std::string& fileName, uint32_t protection) {
    struct stat st {};
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if (st.st_size < off_t(unaMappedFile::kMinimumFileSize)) {
        // Mapping would pad the file; a short file is simply read.
        if (FILE* f = std::fopen(fileName.c_str(), "rb")) {
            copy_.resize(size_t(st.st_size));
            copy_.resize(std::fread(copy_.data(), 1, copy_.size(), f));
            std::fclose(f);
            data_ = copy_.data();
            size_ = uint32_t(copy_.size());
        }
    } else {
        mapping_ = std::make_unique<unaMappedFile>(fileName, true, protection);
        if (mapping_->isOpen()) {
            data_ = static_cast<const uint8_t*>(mapping_->data());
            size_ = mapping_->size();
        }
    }
    parseRoot();
}

unaRIFile::unaRIFile(const void* data, uint32_t size) {
    if (data && size) {
        copy_.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        data_ = copy_.data();
        size_ = size;
    }
    parseRoot();
}

unaRIFile::~unaRIFile() {
    root_.reset(); // the chunks point into the view
    mapping_.reset();
}

void unaRIFile::parseRoot() {
    if (data_ && size_ >= 12)
        root_ = std::make_unique<unaRIFFChunk>(this, 0, size_, nullptr);
}

bool unaRIFile::isRiff() const {
    return root_ && root_->idIs("RIFF");
}
