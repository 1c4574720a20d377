#include "app/SkinCache.h"

#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace sonvale::app {

namespace {

constexpr char kMagic[8] = {'S', 'V', 'S', 'K', 'I', 'N', 'P', '2'};
constexpr int kPictureCount = 2 + 3 * kSkinIconCount;
constexpr int kMaxSide = 4096;
// Each picture's pixels start on this boundary in the file, so the pictures
// can use the file's bytes in memory as their own.
constexpr size_t kPixelAlign = 16;

// The pictures in file order: the skin, its shape, then each icon's three.
template <typename Pictures, typename F> void forEachPicture(Pictures& p, F&& f) {
    f(p.skin);
    f(p.shape);
    for (auto& icon : p.icons)
        for (auto& picture : icon)
            f(picture);
}

void putU32(QByteArray& out, uint32_t v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void padTo(QByteArray& out, size_t boundary) {
    while (size_t(out.size()) % boundary)
        out.append('\0');
}

// The file's bytes, read whole into memory the pictures then use in place
// (so nothing done to the file later can reach them); freed when the last
// picture using it goes.
struct Buffer {
    std::unique_ptr<char[]> data; // aligned as new[] aligns
    size_t size = 0;
};

std::shared_ptr<Buffer> readWhole(const std::string& file) {
    // A FIFO or a device in the file's place must not hold up the start.
    const RegularFile opened = openRegularFile(file, O_RDONLY);
    if (!opened.ok())
        return nullptr;
    const int fd = opened.fd;
    auto buffer = std::make_shared<Buffer>();
    bool ok = opened.size > 0 && opened.size < (64 << 20);
    if (ok) {
        buffer->size = size_t(opened.size);
        buffer->data.reset(new (std::nothrow) char[buffer->size]);
        ok = buffer->data != nullptr;
    }
    for (size_t at = 0; ok && at < buffer->size;) {
        const ssize_t n = ::read(fd, buffer->data.get() + at, buffer->size - at);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        at += ok ? size_t(n) : 0;
    }
    ::close(fd);
    return ok ? buffer : nullptr;
}

// Walks the file's fields in order; a field past its end fails, and every
// later one too.
class Reader {
public:
    explicit Reader(Buffer& b) : data_(b.data.get()), size_(b.size) {}

    char* take(size_t n) {
        if (!ok_ || n > size_ - at_) {
            ok_ = false;
            return nullptr;
        }
        char* p = data_ + at_;
        at_ += n;
        return p;
    }
    uint32_t u32() {
        uint32_t v = 0;
        if (const char* p = take(sizeof v))
            std::memcpy(&v, p, sizeof v);
        return v;
    }
    void align(size_t boundary) {
        if (at_ % boundary)
            take(boundary - at_ % boundary);
    }
    bool atEnd() const { return ok_ && at_ == size_; }
    bool ok() const { return ok_; }

private:
    char* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

void releaseBuffer(void* holder) {
    delete static_cast<std::shared_ptr<Buffer>*>(holder);
}

// One picture whose pixels stay in the file's buffer.
bool readPicture(Reader& in, const std::shared_ptr<Buffer>& buffer, QImage& picture) {
    const uint32_t width = in.u32(), height = in.u32(), format = in.u32(), bytesPerLine = in.u32(),
                   colors = in.u32();
    if (!in.ok() || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        (format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_MonoLSB) ||
        colors > 2)
        return false;
    const int depth = format == QImage::Format_MonoLSB ? 1 : 32;
    if (bytesPerLine != (width * depth + 31) / 32 * 4)
        return false;
    QList<QRgb> table(colors);
    for (QRgb& c : table)
        c = in.u32();
    in.align(kPixelAlign);
    char* pixels = in.take(size_t(bytesPerLine) * height);
    if (!pixels)
        return false;
    // Writable, so that turning it into a pixmap needs no copy.
    auto* holder = new std::shared_ptr<Buffer>(buffer);
    QImage image(reinterpret_cast<uchar*>(pixels), int(width), int(height), qsizetype(bytesPerLine),
                 QImage::Format(format), releaseBuffer, holder);
    if (image.isNull()) {
        releaseBuffer(holder); // a null image keeps no memory, and calls no clean-up
        return false;
    }
    if (colors)
        image.setColorTable(table);
    picture = std::move(image);
    return true;
}

} // namespace

QByteArray skinPicturesKey() {
    QByteArray key("skin 1;qt ");
    key += qVersion();
    // The program's build: a new build may paint differently.
    struct stat st {};
    if (::stat("/proc/self/exe", &st) == 0)
        key += ";build " + QByteArray::number(qlonglong(st.st_size)) + ' ' +
               QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.' +
               QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
    // The text on the skin: the application font and what the desktop
    // resolves it to.
    const QFont font;
    const QFontInfo resolved(font);
    key += ";font " + font.toString().toUtf8() + '=' + resolved.family().toUtf8() + ' ' +
           resolved.styleName().toUtf8();
    return key;
}

std::optional<SkinPictures> loadSkinPictures(const std::string& file, const QByteArray& key) {
    const std::shared_ptr<Buffer> buffer = file.empty() ? nullptr : readWhole(file);
    if (!buffer)
        return std::nullopt;
    Reader in(*buffer);
    const char* magic = in.take(sizeof kMagic);
    if (!magic || std::memcmp(magic, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const uint32_t keySize = in.u32();
    if (keySize != uint32_t(key.size()))
        return std::nullopt;
    const char* stored = in.take(keySize);
    if (!stored || std::memcmp(stored, key.constData(), keySize) != 0)
        return std::nullopt;
    if (in.u32() != kPictureCount)
        return std::nullopt;
    SkinPictures pictures;
    bool ok = true;
    forEachPicture(pictures, [&](QImage& picture) { ok = ok && readPicture(in, buffer, picture); });
    if (!ok || !in.atEnd())
        return std::nullopt;
    return pictures;
}

bool saveSkinPictures(const std::string& file, const QByteArray& key,
                      const SkinPictures& pictures) {
    if (file.empty())
        return false;
    QByteArray out(kMagic, sizeof kMagic);
    putU32(out, uint32_t(key.size()));
    out += key;
    putU32(out, kPictureCount);
    bool ok = true;
    forEachPicture(pictures, [&](const QImage& picture) {
        const bool known = picture.format() == QImage::Format_ARGB32_Premultiplied ||
                           picture.format() == QImage::Format_MonoLSB;
        ok = ok && known && !picture.isNull() && picture.colorCount() <= 2;
        if (!ok)
            return;
        for (uint32_t v :
             {uint32_t(picture.width()), uint32_t(picture.height()), uint32_t(picture.format()),
              uint32_t(picture.bytesPerLine()), uint32_t(picture.colorCount())})
            putU32(out, v);
        for (QRgb c : picture.colorTable())
            putU32(out, c);
        padTo(out, kPixelAlign);
        out.append(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());
    });
    if (!ok)
        return false;
    const QString path = QString::fromStdString(file);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size() && f.commit();
}

SkinPictures loadOrPaintSkinPictures(const std::string& file) {
    // The font set-up first (the font database and the application font):
    // the key needs it, the window's controls need it as well, and find it
    // done when they are polished while the pictures are still being made.
    QFontMetricsF(QFont()).height();
    if (file.empty())
        return paintSkinPictures();
    const QByteArray key = skinPicturesKey();
    if (std::optional<SkinPictures> cached = loadSkinPictures(file, key))
        return std::move(*cached);
    SkinPictures pictures = paintSkinPictures();
    saveSkinPictures(file, key, pictures);
    return pictures;
}

} // namespace sonvale::app
