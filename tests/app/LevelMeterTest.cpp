// The level meter: the dBFS scale, the held peak and the clipping mark, and
// what it shows of known tones captured on the virtual card.
#include "RecorderTestSupport.h"

#include "app/LevelMeter.h"
#include "app/MeterWidget.h"
#include "capture/unavclWaveComponents.h"
#include "platform/audio/VirtualCard.h"

#include <QSet>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace apptest;
using sonvale::app::LevelMeter;

namespace {

// A 16-bit stereo WAV at 44100 Hz of a 1 kHz tone of that peak amplitude
// (1.0 = full scale); `square` makes it a fully clipped wave.
void writeTone(const std::string& path, double amplitude, bool square = false) {
    const uint32_t rate = 44100, frames = rate;
    std::string data;
    for (uint32_t i = 0; i < frames; ++i) {
        const double s = std::sin(2 * M_PI * 1000 * i / rate);
        const double v = square ? (s >= 0 ? 1.0 : -1.0) : s;
        const auto sample =
            int16_t(std::lround(std::clamp(v * amplitude * 32767, -32768.0, 32767.0)));
        for (int c = 0; c < 2; ++c) {
            data.push_back(char(sample & 0xFF));
            data.push_back(char((sample >> 8) & 0xFF));
        }
    }
    auto u32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    writeFile(path, "RIFF" + u32(36 + uint32_t(data.size())) + "WAVEfmt " + u32(16) + u16(1) +
                        u16(2) + u32(rate) + u32(rate * 4) + u16(4) + u16(16) + "data" +
                        u32(uint32_t(data.size())) + data);
}

} // namespace

TEST(LevelMeterModel, PeakHoldsThenFallsAndClipMarkStaysLitForAWhile) {
    LevelMeter m;
    const uint32_t loud[2] = {23170, 11585}, quiet[2] = {0, 0}, square[2] = {32767, 32767};
    m.update(loud, 2, 16, 1000);
    EXPECT_NEAR(m.levelDb(0), 0.0, 0.05);
    EXPECT_NEAR(m.levelDb(1), -6.02, 0.05);
    EXPECT_FALSE(m.clipped(0)) << "a full-scale sine is not clipped";
    m.update(quiet, 2, 16, 1100);
    EXPECT_EQ(m.levelDb(0), LevelMeter::kFloorDb);
    EXPECT_NEAR(m.peakDb(0), 0.0, 0.05) << "the peak is held";
    m.advance(1000 + LevelMeter::kHoldMs + 500);
    EXPECT_NEAR(m.peakDb(0), -LevelMeter::kFallDbPerSecond / 2, 0.1);
    m.advance(20'000);
    EXPECT_EQ(m.peakDb(0), LevelMeter::kFloorDb);

    m.update(square, 2, 16, 30'000);
    EXPECT_TRUE(m.clipped(0));
    m.update(quiet, 2, 16, 30'000 + LevelMeter::kClipHoldMs - 1);
    EXPECT_TRUE(m.clipped(1));
    m.advance(30'000 + LevelMeter::kClipHoldMs + 1);
    EXPECT_FALSE(m.clipped(1));

    // Mono shows the one channel on both bars; 8-bit levels are on the
    // 16-bit scale, 24-bit ones on their own.
    const uint32_t mono[1] = {11585};
    m.update(mono, 1, 8, 40'000);
    EXPECT_NEAR(m.levelDb(1), -6.02, 0.05);
    EXPECT_NEAR(LevelMeter::levelToDb(23170 << 8, 24), 0.0, 0.05);
}

TEST(MeterWidgetPlayout, QuartersOfABlockAreShownInTurnAndNoLoudQuarterIsSkipped) {
    // A block that is silent in its first half and full scale in its second
    // (left), the other way round (right); the next block is silent.
    ensureApplication();
    sonvale::app::MeterWidget w;
    sonvale::app::MeterReading r;
    r.channels = 2;
    r.windows = 4;
    r.block = 1;
    const uint32_t loud = 23170; // a full-scale sine
    for (int q = 0; q < 4; ++q) {
        r.windowLevels[0][q] = q < 2 ? 0 : loud;
        r.windowLevels[1][q] = q < 2 ? loud : 0;
    }
    w.setSource([&] { return r; });
    w.poll(1000); // first sight: the first quarter
    EXPECT_EQ(w.meter().levelDb(0), LevelMeter::kFloorDb);
    EXPECT_NEAR(w.meter().levelDb(1), 0.0, 0.05);
    w.poll(1060); // quarters 2 and 3 are due: the louder of them shows
    EXPECT_NEAR(w.meter().levelDb(0), 0.0, 0.05);
    EXPECT_NEAR(w.meter().levelDb(1), 0.0, 0.05);
    w.poll(1080); // quarter 4
    EXPECT_NEAR(w.meter().levelDb(0), 0.0, 0.05);
    EXPECT_EQ(w.meter().levelDb(1), LevelMeter::kFloorDb);

    // A new block arrives before the last quarter of the old one was shown:
    // that quarter's loud left channel still shows once.
    r.block = 2;
    w.poll(1100);
    r.block = 3;
    for (auto& ch : r.windowLevels)
        for (uint32_t& q : ch)
            q = 0;
    w.poll(1120);
    EXPECT_NEAR(w.meter().levelDb(0), 0.0, 0.05);
    w.poll(1145);
    EXPECT_EQ(w.meter().levelDb(0), LevelMeter::kFloorDb);
}

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

TEST(MeterWidgetFrames, AFrameIsPaintedOnlyWhenWhatItShowsChangesAndFillsItsWholeRectangle) {
    ensureApplication();
    sonvale::app::MeterWidget w;
    w.resize(138, 32);
    const QColor skin(0x12, 0x34, 0x56);
    QPixmap backdrop(w.size());
    backdrop.fill(skin);
    w.setBackdrop(backdrop);
    sonvale::app::MeterReading r; // nothing captured
    w.setSource([&] { return r; });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    PaintCounter counter;
    w.installEventFilter(&counter);
    for (int t = 0; t < 10; ++t)
        w.poll(1000 + t * 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 0) << "silence over and over paints nothing";
    r.channels = 2;
    r.levels[0] = r.levels[1] = 23170;
    w.poll(1400);
    QCoreApplication::processEvents();
    EXPECT_GE(counter.paints, 1);
    // The backdrop between the bars, the bars and the lettered clip box over it.
    const QImage frame = w.grab().toImage();
    EXPECT_EQ(frame.pixelColor(10, 15), skin);
    EXPECT_NE(frame.pixelColor(10, 5), skin);
    QSet<QRgb> clipColours;
    for (int x = 138 - 34; x < 138; ++x)
        clipColours.insert(frame.pixel(x, 16));
    EXPECT_GE(clipColours.size(), 2);
}

// 25 readings a second while anything moves, 10 at rest, none while the
// window is minimized.
TEST(MeterWidgetFrames, ReadsOnlyAsOftenAsWhatItShowsCanChange) {
    ensureApplication();
    using sonvale::app::MeterWidget;
    QWidget window;
    auto* w = new MeterWidget(&window);
    w->resize(138, 32);
    sonvale::app::MeterReading r;
    r.channels = 2;
    w->setSource([&] { return r; });
    window.show();
    w->setRunning(true);
    window.showMinimized();
    EXPECT_FALSE(w->reading());
    window.showNormal();
    EXPECT_TRUE(w->reading());
    window.showMinimized();
    w->setRunning(false);
    window.showNormal();
    EXPECT_FALSE(w->reading()) << "back, but stopped meanwhile";

    int64_t now = 1000;
    auto readAt = [&](int64_t ms) {
        w->poll(now = ms);
        return w->readingIntervalMs();
    };
    readAt(now);
    EXPECT_EQ(readAt(now + 100), MeterWidget::kRestIntervalMs); // silence
    r.levels[0] = r.levels[1] = 23170;
    EXPECT_EQ(readAt(now + 100), MeterWidget::kIntervalMs);    // sound starts
    EXPECT_EQ(readAt(now + 40), MeterWidget::kRestIntervalMs); // a steady sound
    r.levels[0] = r.levels[1] = 0;
    const int64_t stopped = now;
    // It stops: the held peak stays, then falls, every frame of it shown.
    while (now < stopped + 5000 && w->meter().peakDb(0) > sonvale::app::LevelMeter::kFloorDb)
        ASSERT_EQ(readAt(now + 40), MeterWidget::kIntervalMs) << "at " << now;
    EXPECT_EQ(readAt(now + 40), MeterWidget::kRestIntervalMs);
}

class MeterOnTheCard : public RecorderFixture {};

TEST_F(MeterOnTheCard, FollowsTheLevelOfAKnownTone) {
    installLibraries();
    struct Case {
        const char* name;
        double amplitude;
        bool square;
        double db;
        bool clip;
    };
    for (const Case& c :
         {Case{"full scale", 1.0, false, 0.0, false}, Case{"-6 dB", 0.5, false, -6.02, false},
          Case{"silence", 0.0, false, LevelMeter::kFloorDb, false},
          Case{"clipping", 1.0, true, 3.01, true}}) {
        SCOPED_TRACE(c.name);
        const std::string feed = dir.path() + "tone.wav";
        writeTone(feed, c.amplitude, c.square);
        VirtualCardConfig config;
        config.speed = 20;
        for (auto& f : config.devices[0].sourceFiles)
            f = feed;
        ASSERT_TRUE(VirtualCard::instance().configure(config));
        for (int s = VS_MICROPHONE; s <= VS_STEREO_MIX; ++s)
            VirtualCard::instance().setSourceVolume(0, s, 65535, 65535);
        frm = create();
        svar::AppSettings.SaveFile = 0; // WAV, 16-bit stereo at 44100 Hz by default
        frm->btnRecordClick();
        ASSERT_EQ(svar::AppState, svar::stRecording);
        EXPECT_TRUE(frm->meterLevel->running());
        // Past the first blocks (which may hold the feed's start).
        ASSERT_TRUE(waitUntil([&] { return frm->waveIn->outBytes() >= 44100 * 4; }));
        frm->meterLevel->poll();
        const LevelMeter& m = frm->meterLevel->meter();
        EXPECT_NEAR(m.levelDb(0), c.db, 0.2);
        EXPECT_NEAR(m.levelDb(1), c.db, 0.2);
        EXPECT_EQ(m.clipped(0), c.clip);
        frm->btnStopClick();
        EXPECT_FALSE(frm->meterLevel->running());
        EXPECT_EQ(frm->meterLevel->meter().levelDb(0), LevelMeter::kFloorDb);
        frm.reset();
    }
}
