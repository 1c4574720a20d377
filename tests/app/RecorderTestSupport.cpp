#include "RecorderTestSupport.h"

#include "app/soptions.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"
#include "platform/ui/qt/QtMessageWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <filesystem>

namespace apptest {

void RecorderFixture::SetUp() {
    AppFixture::SetUp();
    QtMessageWindow::install();
    setAudioBackend(AudioBackend::Virtual);
    configureCard({true}, 20);
}

void RecorderFixture::TearDown() {
    frm.reset();
    VirtualCard::instance().configure(VirtualCardConfig{});
    setAudioBackend(AudioBackend::Alsa);
    AppFixture::TearDown();
}

void RecorderFixture::installLibraries(bool encoder, bool player) {
    if (encoder)
        std::filesystem::create_symlink(MP3ENC_PATH, paths.encoderLibrary);
    if (player)
        std::filesystem::create_symlink(MP3PLAY_PATH, paths.playerLibrary);
}

std::unique_ptr<TMainFrm> RecorderFixture::create() {
    auto w = std::make_unique<TMainFrm>(paths, ui);
    w->setOptionsForm(new TOptionsFrm(paths, ui, w.get()));
    w->FormShow();
    return w;
}

void RecorderFixture::configureCard(std::vector<bool> mux, double speed) {
    VirtualCardConfig config;
    config.devices.clear();
    for (bool m : mux) {
        VirtualDeviceConfig d;
        d.hasMux = m;
        config.devices.push_back(d);
    }
    config.speed = speed;
    ASSERT_TRUE(VirtualCard::instance().configure(config));
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

uint32_t u32At(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

uint16_t u16At(const std::string& b, size_t at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

} // namespace apptest
