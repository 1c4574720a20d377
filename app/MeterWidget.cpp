#include "app/MeterWidget.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdint>

namespace sonvale::app {

namespace {

double fraction(double db) {
    return std::clamp((db - LevelMeter::kFloorDb) / -LevelMeter::kFloorDb, 0.0, 1.0);
}

// The meter's parts: two bars one above the other, the clip mark at the right.
constexpr int kClipWidth = 34, kGap = 4;

int barWidth(int width) {
    return width - kClipWidth - kGap;
}

int barHeight(int height) {
    return (height - kGap) / 2;
}

} // namespace

MeterWidget::MeterWidget(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("meterLevel"));
    timer_->setInterval(kIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] { poll(); });
    clock_.start();
    setAttribute(Qt::WA_TranslucentBackground);
}

void MeterWidget::setBackdrop(const QPixmap& backdrop) {
    backdrop_ = backdrop;
    setAttribute(Qt::WA_OpaquePaintEvent, !backdrop_.isNull());
    update();
}

void MeterWidget::setRunning(bool running) {
    running_ = running;
    if (!running) {
        meter_.reset();
        repaintIfChanged();
    }
    followWindow();
}

bool MeterWidget::reading() const {
    return timer_->isActive();
}

void MeterWidget::followWindow() {
    const bool read = running_ && !window()->isMinimized();
    if (read && !timer_->isActive())
        timer_->start();
    else if (!read)
        timer_->stop();
}

void MeterWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!watchingWindow_ && window() != this) {
        watchingWindow_ = true;
        window()->installEventFilter(this);
    }
}

bool MeterWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window() && event->type() == QEvent::WindowStateChange)
        followWindow();
    return QWidget::eventFilter(watched, event);
}

void MeterWidget::poll() {
    poll(clock_.elapsed());
}

void MeterWidget::poll(int64_t now) {
    const MeterReading reading = source_ ? source_() : MeterReading{};
    if (reading.channels <= 0) {
        playing_ = MeterReading{};
        shown_ = 0;
        meter_.update(reading.levels, 1, 16, now); // silence
        repaintIfChanged();
        return;
    }
    if (reading.windows <= 0 || reading.windows > MeterReading::kMaxWindows) {
        meter_.update(reading.levels, reading.channels, reading.bitsPerSample, now);
        repaintIfChanged();
        return;
    }
    const int channels = std::min(reading.channels, LevelMeter::kChannels);
    uint32_t show[LevelMeter::kChannels] = {0, 0};
    bool any = false;
    if (reading.block != playing_.block || playing_.windows == 0) {
        // A new block: what is left of the last one is shown with its first
        // window, so a loud end of a block is not lost.
        for (int w = shown_; w < playing_.windows; ++w)
            for (int c = 0; c < channels; ++c)
                show[c] = std::max(show[c], playing_.windowLevels[c][w]);
        any = shown_ < playing_.windows;
        playing_ = reading;
        playingSince_ = now;
        shown_ = 0;
    }
    // One window comes due every (block length / windows) after the first.
    const int64_t windowMs = std::max<int64_t>(1, playing_.blockMs / playing_.windows);
    const int due = int(std::min<int64_t>(playing_.windows, 1 + (now - playingSince_) / windowMs));
    for (; shown_ < due; ++shown_, any = true)
        for (int c = 0; c < channels; ++c)
            show[c] = std::max(show[c], playing_.windowLevels[c][shown_]);
    if (any)
        meter_.update(show, channels, playing_.bitsPerSample, now);
    else
        meter_.advance(now);
    repaintIfChanged();
}

MeterWidget::Drawn MeterWidget::drawn() const {
    const int barW = barWidth(width());
    Drawn d;
    for (int c = 0; c < LevelMeter::kChannels; ++c) {
        d.level[c] = int(fraction(meter_.levelDb(c)) * barW);
        if (meter_.peakDb(c) > LevelMeter::kFloorDb)
            d.peak[c] = int(fraction(meter_.peakDb(c)) * (barW - 2));
        d.clipped = d.clipped || meter_.clipped(c);
    }
    return d;
}

void MeterWidget::repaintIfChanged() {
    const Drawn now = drawn();
    const bool changed = now != polled_;
    polled_ = now;
    if (painted_ != now)
        update();
    timer_->setInterval(!changed && meter_.settled() ? kRestIntervalMs : kIntervalMs);
}

int MeterWidget::readingIntervalMs() const {
    return timer_->interval();
}

void MeterWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (!backdrop_.isNull())
        p.drawPixmap(0, 0, backdrop_);
    const Drawn d = drawn();
    painted_ = d;
    const int barH = barHeight(height());
    const int barW = barWidth(width());
    QLinearGradient fill(0, 0, barW, 0);
    fill.setColorAt(0.0, QColor(0x1f, 0x9b, 0x7e));
    fill.setColorAt(fraction(-12.0), QColor(0x7f, 0xf5, 0xd2));
    fill.setColorAt(fraction(-6.0), QColor(0xff, 0xd3, 0x4d));
    fill.setColorAt(1.0, QColor(0xff, 0x5a, 0x4d));
    for (int c = 0; c < LevelMeter::kChannels; ++c) {
        const QRect bar(0, c * (barH + kGap), barW, barH);
        p.fillRect(bar, QColor(0x0b, 0x10, 0x16));
        p.fillRect(QRect(bar.left(), bar.top(), d.level[c], bar.height()), fill);
        if (d.peak[c] >= 0)
            p.fillRect(QRect(d.peak[c], bar.top(), 2, bar.height()), QColor(0xee, 0xf3, 0xf8));
        // -6 and -20 dB ticks.
        p.setPen(QColor(0x2c, 0x38, 0x47));
        for (double db : {-40.0, -20.0, -6.0})
            p.drawLine(int(fraction(db) * barW), bar.top(), int(fraction(db) * barW), bar.bottom());
    }
    const QRect clip(width() - kClipWidth, 0, kClipWidth, height());
    p.fillRect(clip, d.clipped ? QColor(0xd9, 0x2b, 0x2b) : QColor(0x23, 0x2a, 0x34));
    p.setPen(d.clipped ? Qt::white : QColor(0x5a, 0x6b, 0x80));
    QFont f = font();
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    if (clipText_.text().isEmpty()) { // laid out once, not at every frame
        clipText_.setText(QStringLiteral("CLIP"));
        clipText_.prepare(p.transform(), f);
    }
    const QSizeF text = clipText_.size();
    p.drawStaticText(QPointF(clip.x() + (clip.width() - text.width()) / 2,
                             clip.y() + (clip.height() - text.height()) / 2),
                     clipText_);
}

} // namespace sonvale::app
