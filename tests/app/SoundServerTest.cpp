// The window on a real sound server: a private PulseAudio daemon the test
// starts itself (PulseServer). Sources plugged in or chosen by another
// program show in the panel at once, and a server that dies during a
// recording stops it with a message, leaving a WAV file of what was
// recorded.
#include "RecorderTestSupport.h"

#include "capture/unavclWaveComponents.h"
#include "platform/AudioTestSupport.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/pulse/PulseServer.h"

#include <QLabel>
#include <QTreeWidget>

#include <algorithm>

using namespace apptest;
using Strings = std::vector<std::string>;

namespace {

class SoundServer : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        installLibraries();
        std::string why;
        if (!server.start(&why)) {
            if (why.find("not installed") != std::string::npos)
                GTEST_SKIP() << why;
            FAIL() << why;
        }
        setAudioBackend(AudioBackend::Pulse);
    }
    void TearDown() override {
        frm.reset();
        setAudioBackend(AudioBackend::Virtual);
        server.stop();
        RecorderFixture::TearDown();
    }

    Strings sourceNames() const {
        Strings names;
        for (int i = 0; i < frm->lstRecordSource->topLevelItemCount(); ++i)
            names.push_back(frm->lstRecordSource->topLevelItem(i)->text(0).toStdString());
        return names;
    }
    bool listed(const std::string& name) const {
        const Strings names = sourceNames();
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    bool chosen(const std::string& name) const {
        for (int i = 0; i < frm->lstRecordSource->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = frm->lstRecordSource->topLevelItem(i);
            if (item->text(0).toStdString() == name)
                return item->checkState(0) == Qt::Checked;
        }
        return false;
    }

    PulseServer server;
};

} // namespace

TEST_F(SoundServer, PanelFollowsTheServerAndALostServerEndsTheRecordingKeepingItsFile) {
    frm = create();
    ui.clear();
    ASSERT_TRUE(listed("MicA") && listed("MicB")) << ::testing::PrintToString(sourceNames());
    EXPECT_TRUE(chosen("MicA"));

    // A microphone plugged in, then another source chosen elsewhere.
    bool ok = false;
    server.pactl("load-module module-sine-source source_name=usb rate=44100 frequency=3000 "
                 "source_properties=device.description=UsbMic",
                 &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(waitUntil([&] { return listed("UsbMic"); }, 10000));
    server.pactl("set-default-source mic_b", &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(waitUntil([&] { return chosen("MicB"); }, 10000));
    EXPECT_FALSE(chosen("MicA"));

    svar::AppSettings.SaveFile = 0;
    frm->btnRecordClick();
    ASSERT_EQ(svar::AppState, svar::stRecording) << ::testing::PrintToString(ui.messages());
    const std::string name = svar::RecordFileName;
    ASSERT_TRUE(waitUntil([&] { return frm->waveIn->outBytes() >= 44100 * 4 / 2; }, 10000));
    server.kill();
    ASSERT_TRUE(waitUntil([&] { return frm->waveIn->device()->deviceLost(); }, 10000));
    frm->TimerTimer();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(frm->labStatus->text().toStdString(), "Ready");
    EXPECT_EQ(ui.messages(), Strings{"Recording device lost! - " + name});
    EXPECT_TRUE(waitUntil([&] { return sourceNames().empty(); }, 10000))
        << "the panel empties without a box";
    EXPECT_EQ(ui.messages().size(), 1u);

    // What was recorded before the loss is a complete WAV file of MicB.
    const std::string wav = readFile(name);
    ASSERT_GT(wav.size(), 80u + 44100);
    EXPECT_EQ(u32At(wav, 4), wav.size() - 8);
    EXPECT_EQ(u32At(wav, 76), wav.size() - 80);
    EXPECT_NEAR(measureFrequency(channelOf(reinterpret_cast<const uint8_t*>(wav.data() + 80),
                                           wav.size() - 80, 2, 0),
                                 44100),
                PulseServer::kMicBHz, 10);
}
