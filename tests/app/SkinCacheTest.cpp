// The skin's pictures kept in a file between runs: what comes back is what was
// painted, and only a whole file written under the same key is used.
#include "app/SkinCache.h"

#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

using namespace sonvale::app;

namespace {

void expectSamePictures(const SkinPictures& a, const SkinPictures& b) {
    EXPECT_EQ(a.skin, b.skin);
    EXPECT_EQ(a.shape, b.shape);
    EXPECT_EQ(a.shape.colorTable(), b.shape.colorTable());
    for (int i = 0; i < kSkinIconCount; ++i)
        for (size_t m = 0; m < a.icons[size_t(i)].size(); ++m)
            EXPECT_EQ(a.icons[size_t(i)][m], b.icons[size_t(i)][m])
                << "icon " << i << " mode " << m;
}

class SkinCache : public ::testing::Test {
protected:
    void SetUp() override { apptest::ensureApplication(); }

    apptest::ScratchDir dir;
    const std::string file = dir.path() + "cache/sonvale/skin.pictures";
};

} // namespace

TEST_F(SkinCache, PicturesKeptInTheFileComeBackAsPaintedAndOnlyUnderTheirKey) {
    // The first start paints and keeps them, creating the folder.
    const SkinPictures painted = loadOrPaintSkinPictures(file);
    ASSERT_TRUE(apptest::exists(file));
    const std::optional<SkinPictures> kept = loadSkinPictures(file, skinPicturesKey());
    ASSERT_TRUE(kept.has_value());
    expectSamePictures(*kept, painted);
    expectSamePictures(loadOrPaintSkinPictures(file), painted);
    // Pictures made by another build or with another font are not used.
    EXPECT_FALSE(loadSkinPictures(file, skinPicturesKey() + "x").has_value());
    EXPECT_FALSE(loadSkinPictures(file, QByteArray()).has_value());
    // Without a place to keep them they are painted every time.
    expectSamePictures(loadOrPaintSkinPictures(""), painted);
}

TEST_F(SkinCache, ADamagedFileIsNotUsedAndIsWrittenWholeAgain) {
    const QByteArray key = skinPicturesKey();
    const SkinPictures painted = paintSkinPictures();
    ASSERT_TRUE(saveSkinPictures(file, key, painted));
    const std::string whole = apptest::readFile(file);
    const size_t firstPicture = 8 + 4 + size_t(key.size()) + 4; // magic, key, count
    auto damaged = [&](std::string bytes) {
        apptest::writeFile(file, bytes);
        return !loadSkinPictures(file, key).has_value();
    };
    // Cut short anywhere, or with bytes after the last picture.
    for (size_t cut :
         {size_t(0), size_t(7), size_t(12), firstPicture + 6, whole.size() / 2, whole.size() - 1})
        EXPECT_TRUE(damaged(whole.substr(0, cut))) << "cut at " << cut;
    EXPECT_TRUE(damaged(whole + '\0'));
    // Fields no picture of ours can have: a huge width or height, an unknown
    // format, another row length, more colours than a mask has.
    const uint32_t bad[] = {100000, 100000, 99, 7, 3};
    for (size_t field = 0; field < std::size(bad); ++field) {
        std::string bytes = whole;
        std::memcpy(bytes.data() + firstPicture + 4 * field, &bad[field], 4);
        EXPECT_TRUE(damaged(bytes)) << "field " << field;
    }
    // The next start paints them again and keeps a whole file.
    expectSamePictures(loadOrPaintSkinPictures(file), painted);
    EXPECT_EQ(apptest::readFile(file), whole);

    // A place that cannot be written: painted, nothing kept, no failure.
    const std::string blocked = dir.path() + "plain-file/skin.pictures";
    apptest::writeFile(dir.path() + "plain-file", "x");
    EXPECT_FALSE(saveSkinPictures(blocked, key, painted));
    expectSamePictures(loadOrPaintSkinPictures(blocked), painted);
}
