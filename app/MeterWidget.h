// The level meter of the main window: one bar per channel in dBFS from -60
// to 0, the held peak as a line, and a red "CLIP" mark. It asks its source
// for the levels the capture device measured last, 25 times a second while
// it runs, and draws them through a LevelMeter; it never sees samples.
//
// Main thread only. The source function is called on the main thread and
// must only read values the capture thread has stored.
#pragma once

#include "app/LevelMeter.h"

#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

class QTimer;

namespace sonvale::app {

struct MeterReading {
    uint32_t levels[LevelMeter::kChannels] = {0, 0};
    int channels = 0; // 0: nothing is captured
    uint32_t bitsPerSample = 16;
};

class MeterWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 40;

    explicit MeterWidget(QWidget* parent = nullptr);

    void setSource(std::function<MeterReading()> source) { source_ = std::move(source); }
    // Starts or stops reading; stopping shows silence.
    void setRunning(bool running);
    bool running() const;
    // Reads the source once (the timer's work).
    void poll();
    const LevelMeter& meter() const { return meter_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<MeterReading()> source_;
    LevelMeter meter_;
    QTimer* timer_;
    QElapsedTimer clock_;
};

} // namespace sonvale::app
