// The skin's pictures kept in a file between runs: what comes back is what was
// painted, and only a whole file written under the same key is used.
#include "app/SkinCache.h"

#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace sonvale::app;

namespace {

void expectSamePictures(const SkinPictures& a, const SkinPictures& b) {
    EXPECT_EQ(a.skin, b.skin);
    EXPECT_EQ(a.shape, b.shape);
    EXPECT_EQ(a.shape.colorTable(), b.shape.colorTable());
    for (size_t i = 0; i < a.icons.size(); ++i)
        for (size_t m = 0; m < a.icons[i].size(); ++m)
            EXPECT_EQ(a.icons[i][m], b.icons[i][m]) << "icon " << i << " mode " << m;
}

} // namespace

TEST(SkinCache, PicturesComeBackAsPaintedOnlyFromAWholeFileMadeUnderTheSameKey) {
    apptest::ensureApplication();
    apptest::ScratchDir dir;
    const std::string file = dir.path() + "cache/sonvale/skin.pictures";
    const QByteArray key = skinPicturesKey();
    // The first start paints and keeps them, creating the folder; the next
    // reads them back.
    const SkinPictures painted = loadOrPaintSkinPictures(file);
    const std::optional<SkinPictures> kept = loadSkinPictures(file, key);
    ASSERT_TRUE(kept.has_value());
    expectSamePictures(*kept, painted);
    EXPECT_FALSE(loadSkinPictures(file, key + "x").has_value()) << "another build or font";

    // Damage: cut short anywhere, bytes after the last picture, or fields no
    // picture of ours can have (a huge width or height, an unknown format,
    // another row length, more colours than a mask has).
    const std::string whole = apptest::readFile(file);
    auto refused = [&](const std::string& bytes) {
        apptest::writeFile(file, bytes);
        return !loadSkinPictures(file, key).has_value();
    };
    const size_t firstPicture = 8 + 4 + size_t(key.size()) + 4; // magic, key, count
    for (size_t cut : {size_t(0), size_t(12), firstPicture + 6, whole.size() / 2, whole.size() - 1})
        EXPECT_TRUE(refused(whole.substr(0, cut))) << "cut at " << cut;
    EXPECT_TRUE(refused(whole + '\0'));
    const uint32_t bad[] = {100000, 100000, 99, 7, 3};
    for (size_t field = 0; field < std::size(bad); ++field) {
        std::string bytes = whole;
        std::memcpy(bytes.data() + firstPicture + 4 * field, &bad[field], 4);
        EXPECT_TRUE(refused(bytes)) << "field " << field;
    }
    // The next start paints them again and keeps a whole file.
    expectSamePictures(loadOrPaintSkinPictures(file), painted);
    EXPECT_EQ(apptest::readFile(file), whole);

    // A FIFO in the file's place: painted at once, and a file kept instead.
    ASSERT_EQ(::unlink(file.c_str()), 0);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    expectSamePictures(loadOrPaintSkinPictures(file), painted);
    EXPECT_EQ(apptest::readFile(file), whole);

    // A place that cannot be written: painted, nothing kept, no failure.
    apptest::writeFile(dir.path() + "plain-file", "x");
    EXPECT_FALSE(saveSkinPictures(dir.path() + "plain-file/skin.pictures", key, painted));
    expectSamePictures(loadOrPaintSkinPictures(dir.path() + "plain-file/skin.pictures"), painted);
}
