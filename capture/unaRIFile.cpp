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

unaRIFFChunk::unaRIFFChunk(unaRIFile* file, uint64_t offset, uint64_t maxSize, unaRIFFChunk* parent)
    : file_(file), parent_(parent), offset_(offset), maxSize_(maxSize),
      depth_(parent ? parent->depth_ + 1 : 0), header_(file->data() + offset) {
    isContainer_ =
        (idIs("RIFF") || idIs("LIST") || (!parent && idIs("RF64"))) && depth_ < kMaxDepth;
    if (isContainer_)
        parse();
}

bool unaRIFFChunk::idIs(const char* id) const {
    return std::memcmp(header_, id, 4) == 0;
}

std::string unaRIFFChunk::id() const {
    return std::string(reinterpret_cast<const char*>(header_), 4);
}

uint64_t unaRIFFChunk::size() const {
    const uint32_t declared = readU32(header_ + 4);
    if (declared == 0xFFFFFFFFu && file_->isRf64()) {
        if (!parent_)
            return file_->ds64RiffSize();
        if (idIs("data"))
            return file_->ds64DataSize();
    }
    return declared;
}

uint64_t unaRIFFChunk::dataSize() const {
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
        auto child = std::make_unique<unaRIFFChunk>(file_, offset_ + pos, limit - pos, this);
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
            size_ = copy_.size();
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

unaRIFile::unaRIFile(const void* data, uint64_t size) {
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
    if (!data_ || size_ < 12)
        return;
    // RF64: the sizes that do not fit 32 bits are in the ds64 chunk, the
    // first chunk of the file; they must be known before the tree is built.
    if (std::memcmp(data_, "RF64", 4) == 0 && size_ >= 36 &&
        std::memcmp(data_ + 12, "ds64", 4) == 0 && readU32(data_ + 16) >= 16) {
        rf64_ = true;
        std::memcpy(&ds64Riff_, data_ + 20, 8);
        std::memcpy(&ds64Data_, data_ + 28, 8);
    }
    root_ = std::make_unique<unaRIFFChunk>(this, 0, size_, nullptr);
}

bool unaRIFile::isRiff() const {
    return root_ && (root_->idIs("RIFF") || (rf64_ && root_->idIs("RF64")));
}
