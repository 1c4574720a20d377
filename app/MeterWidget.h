// The level meter of the main window: one bar per channel in dBFS from -60
// to 0, the held peak as a line, and a red "CLIP" mark. It asks its source
// for the levels the capture device measured last, 25 times a second while
// it runs and its window is not minimized (10 times, once per block, while
// nothing moves: silence or a steady sound), and draws them through a
// LevelMeter; it never sees samples.
//
// The capture device measures every 100 ms block in quarters as well. The
// widget plays a block's quarters out one after the other from the moment
// it first sees the block (so it runs up to one block behind the sound):
// each poll shows the loudest of the quarters that have come due since the
// last poll, so the bars move at every poll and a short loud quarter is
// never skipped. A source that gives no quarters shows the block's level.
//
// Main thread only. The source function is called on the main thread and
// must only read values the capture thread has stored.
#pragma once

#include "app/LevelMeter.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QStaticText>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QTimer;

namespace sonvale::app {

struct MeterReading {
    static constexpr int kMaxWindows = 4;
    uint32_t levels[LevelMeter::kChannels] = {0, 0};
    int channels = 0; // 0: nothing is captured
    uint32_t bitsPerSample = 16;
    // The block's levels in equal consecutive parts (windows of them, 0:
    // none given), and the number of the block they belong to.
    uint32_t windowLevels[LevelMeter::kChannels][kMaxWindows] = {};
    int windows = 0;
    uint32_t block = 0;
    int64_t blockMs = 100; // the length of one block
};

class MeterWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 40;
    // At rest (nothing changed at the last reading and time alone changes
    // nothing shown) it reads once per block instead.
    static constexpr int kRestIntervalMs = 100;

    explicit MeterWidget(QWidget* parent = nullptr);

    void setSource(std::function<MeterReading()> source) { source_ = std::move(source); }
    // The skin's picture behind the meter. With it the meter paints its whole
    // rectangle itself, so a frame repaints nothing beneath it; without it
    // the meter draws over its parent.
    void setBackdrop(const QPixmap& backdrop);
    // Starts or stops reading; stopping shows silence. While its window is
    // minimized a running meter does not read (nothing would show), and
    // reads again once the window is back.
    void setRunning(bool running);
    bool running() const { return running_; }
    bool reading() const; // running, and its window not minimized
    int readingIntervalMs() const;
    // Reads the source once (the timer's work); nowMs on the widget's own
    // clock, or given by a test.
    void poll();
    void poll(int64_t nowMs);
    const LevelMeter& meter() const { return meter_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a frame shows, in pixels: a poll that changes none of it asks for
    // no repaint, so a silent or steady input costs no frames.
    struct Drawn {
        int level[LevelMeter::kChannels] = {0, 0};
        int peak[LevelMeter::kChannels] = {-1, -1}; // -1: no peak shown
        bool clipped = false;
        bool operator==(const Drawn&) const = default;
    };
    Drawn drawn() const;
    // Repaints when what it shows changed; reads faster or slower after.
    void repaintIfChanged();
    void followWindow(); // starts or stops the timer as running and the window say

    bool running_ = false;
    bool watchingWindow_ = false;

    std::function<MeterReading()> source_;
    LevelMeter meter_;
    QTimer* timer_;
    QElapsedTimer clock_;
    // The block being played out: its windows, when it was first seen, how
    // many windows are shown.
    MeterReading playing_;
    int64_t playingSince_ = 0;
    int shown_ = 0;
    std::optional<Drawn> painted_; // what the last frame showed
    Drawn polled_;                 // what the last reading would show
    QPixmap backdrop_;
    QStaticText clipText_;
};

} // namespace sonvale::app
