// The component against small test libraries (FakeXaudio.cpp).
#include "player/TXaudioPlayer.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Access to the test library the component has loaded.
struct Fake {
    explicit Fake(const char* path) : module(dlopen(path, RTLD_NOW | RTLD_NOLOAD)) {}
    ~Fake() {
        if (module) {
            dlclose(module);
        }
    }
    template <typename T> T fn(const char* name) {
        return reinterpret_cast<T>(dlsym(module, name));
    }
    std::string calls() { return fn<const char* (*)()>("fake_calls")(); }
    void reset() { fn<void (*)()>("fake_reset")(); }
    sv_window_t window() { return fn<sv_window_t (*)()>("fake_window")(); }
    int post(const XA_Message& m) { return fn<int (*)(const XA_Message*)>("fake_post")(&m); }
    void* module;
};

bool isLoaded(const char* path) {
    void* m = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (m) {
        dlclose(m);
    }
    return m != nullptr;
}

std::string raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const EXaudioException& e) {
        return e.what();
    }
    return "<nothing raised>";
}

// Builds a message record field by field; texts go after the fixed part.
struct Record {
    explicit Record(int32_t code) : m(std::make_unique<XA_Message>()) {
        std::memset(m.get(), 0, sizeof(XA_Message));
        m->code = code;
    }
    Record& u8(unsigned off, uint8_t v) {
        reinterpret_cast<uint8_t*>(m.get())[off] = v;
        return *this;
    }
    Record& u16(unsigned off, uint16_t v) {
        std::memcpy(reinterpret_cast<uint8_t*>(m.get()) + off, &v, 2);
        return *this;
    }
    Record& u32(unsigned off, uint32_t v) {
        std::memcpy(reinterpret_cast<uint8_t*>(m.get()) + off, &v, 4);
        return *this;
    }
    Record& text(unsigned off, const std::string& t) {
        std::memcpy(reinterpret_cast<char*>(m.get()) + store, t.c_str(), t.size() + 1);
        u32(off, store);
        store += uint32_t(t.size() + 1);
        return *this;
    }
    std::unique_ptr<XA_Message> m;
    uint32_t store = 64;
};

class TXaudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { PlainMessageWindow::processMessages(); }
    void TearDown() override { PlainMessageWindow::processMessages(); }

    // Posts the record through the library and lets the window handle it.
    void deliver(TXaudioPlayer& p, Fake& f, const Record& r) {
        ASSERT_EQ(f.window(), p.windowHandle());
        ASSERT_EQ(f.post(*r.m), 1);
        PlainMessageWindow::processMessages();
    }
};

TEST_F(TXaudioPlayerTest, FreshComponentHasDefaultsAndNoPlayer) {
    TXaudioPlayer p;
    EXPECT_EQ(p.XaudioPath(), "xaudio.dll");
    EXPECT_EQ(p.Priority(), 3);
    EXPECT_EQ(p.GetVersion(2), 0u);
    EXPECT_FALSE(p.hasPlayer());
    EXPECT_NE(p.windowHandle(), SV_WINDOW_NONE);
}

TEST_F(TXaudioPlayerTest, LoadFailuresRaiseTheirTextsAndLeaveNothingLoaded) {
    {
        TXaudioPlayer p;
        p.setXaudioPath("/nonexistent/mp3play.so");
        EXPECT_EQ(raised([&] { p.Init(); }), "Cannot Load Xaudio DLL (/nonexistent/mp3play.so)");
        // The next call tries again, and succeeds with a good library.
        p.setXaudioPath(FAKE_XAUDIO);
        EXPECT_EQ(p.Init(), 1);
        EXPECT_TRUE(p.hasPlayer());
    }
    {
        TXaudioPlayer p;
        p.setXaudioPath(FAKE_XAUDIO_NO_DELETE);
        EXPECT_EQ(raised([&] { p.Play(); }), "Cannot Find Symbol player_delete in Xaudio DLL");
        EXPECT_FALSE(isLoaded(FAKE_XAUDIO_NO_DELETE));
        EXPECT_FALSE(p.hasPlayer());
    }
    {
        TXaudioPlayer p;
        p.setXaudioPath(FAKE_XAUDIO_V37);
        const std::string text = raised([&] { p.Init(); });
        EXPECT_EQ(text, "Xaudio DLL API Mismatch\rExpected 3.8, Got 3.7");
        EXPECT_FALSE(p.hasPlayer());
        EXPECT_EQ(p.GetVersion(2), 0u);
    }
    {
        TXaudioPlayer p;
        p.setXaudioPath(FAKE_XAUDIO_NEW_FAILS);
        EXPECT_EQ(raised([&] { p.Stop(); }), "Cannot Start Xaudio Player");
        EXPECT_FALSE(p.hasPlayer());
    }
}

TEST_F(TXaudioPlayerTest, HiddenWindowFailureRaises) {
    setMessageWindowFactory([](MessageWindow::Handler) { return nullptr; });
    EXPECT_EQ(raised([] { TXaudioPlayer p; }), "Cannot Create Hidden Window");
    setMessageWindowFactory({});
}

TEST_F(TXaudioPlayerTest, PriorityIsStoredUntilThePlayerExistsThenGoesToTheLibrary) {
    {
        TXaudioPlayer p;
        p.setXaudioPath(FAKE_XAUDIO);
        p.setPriority(2);
        EXPECT_EQ(p.Priority(), 2);
        EXPECT_EQ(p.Init(), 1);
        Fake f(FAKE_XAUDIO);
        EXPECT_EQ(f.calls(), "xaudio_get_version(2);player_new;player_set_priority(2);");
        f.reset();
        p.setPriority(4);
        EXPECT_EQ(f.calls(), "player_set_priority(4);");
        EXPECT_EQ(p.Priority(), 4);
        EXPECT_NE(p.GetVersion(2), 0u);
    }
    EXPECT_FALSE(isLoaded(FAKE_XAUDIO));
    {
        TXaudioPlayer p;
        p.setXaudioPath(FAKE_XAUDIO);
        p.Init();
        Fake f(FAKE_XAUDIO);
        EXPECT_EQ(f.calls(), "xaudio_get_version(2);player_new;");
    }
}

TEST_F(TXaudioPlayerTest, DestructionDeletesThePlayerAndUnloads) {
    auto p = std::make_unique<TXaudioPlayer>();
    p->setXaudioPath(FAKE_XAUDIO);
    p->Init();
    {
        Fake f(FAKE_XAUDIO);
        f.reset();
        p.reset();
        EXPECT_EQ(f.calls(), "player_delete;");
    }
    EXPECT_FALSE(isLoaded(FAKE_XAUDIO));
}

TEST_F(TXaudioPlayerTest, MethodsSendTheirCommandCodesAndReturnTheLibraryResult) {
    TXaudioPlayer p;
    p.setXaudioPath(FAKE_XAUDIO);
    p.Init();
    Fake f(FAKE_XAUDIO);
    int eq = 0;
    struct Case {
        std::function<int32_t()> call;
        std::string log;
        int32_t result;
    };
    const std::vector<Case> cases = {
        {[&] { return p.Play(); }, "N(4)", 104},
        {[&] { return p.Pause(); }, "N(5)", 105},
        {[&] { return p.Stop(); }, "N(6)", 106},
        {[&] { return p.InputOpen("/a b/x.mp3"); }, "S(8,/a b/x.mp3)", 108},
        {[&] { return p.InputClose(); }, "N(9)", 109},
        {[&] { return p.OutputClose(); }, "N(18)", 118},
        {[&] { return p.OutputReset(); }, "N(22)", 122},
        {[&] { return p.InputSeek(5, 10); }, "II(7,5,10)", 107},
        {[&] { return p.Ping(77); }, "I(3,77)", 103},
        {[&] { return p.Synchronize(); }, "N(2)", 102},
        {[&] { return p.GetDebugLevel(); }, "N(72)", 172},
        {[&] { return p.GetInputPositionRange(); }, "N(46)", 146},
        {[&] { return p.SetCodecQuality(200); }, "I(63,200)", 163},
        {[&] { return p.SetNotificationMask(-1); }, "I(69,-1)", 169},
        {[&] { return p.OutputOpen("dev"); }, "S(17,dev)", 117},
        {[&] { return p.SetOutputName("out"); }, "S(49,out)", 149},
        {[&] { return p.InputAddFilter("f", 2); }, "SI(11,f,2)", 111},
        {[&] { return p.SetPlayerEnvironmentInteger("k", -5); }, "SI(36,k,-5)", 136},
        {[&] { return p.SetPlayerEnvironmentString("k", "v"); }, "SS(38,k,v)", 138},
        {[&] { return p.InputSendMessage(-2, &eq, 4); }, "IPI(10,-2,ptr,4)", 110},
        {[&] { return p.CodecSendMessage(7, nullptr, 0); }, "IPI(30,7,null,0)", 130},
        {[&] { return p.SetOutputVolume(1, 2, 3); }, "III(57,1,2,3)", 157},
        {[&] { return p.SetCodecEqualizer(&eq); }, "P(65,ptr)", 165},
    };
    for (const Case& c : cases) {
        f.reset();
        EXPECT_EQ(c.call(), c.result) << c.log;
        EXPECT_EQ(f.calls(), c.log + ";");
    }
    EXPECT_EQ(p.ErrorString(XA_FAILURE), "fake failure");
}

TEST_F(TXaudioPlayerTest, NotificationsFireTheirEventsWithArgumentsFromTheRecord) {
    TXaudioPlayer p;
    p.setXaudioPath(FAKE_XAUDIO);
    p.Init();
    Fake f(FAKE_XAUDIO);

    std::vector<std::string> fired;
    int messages = 0;
    p.OnNotifyMessage = [&](TXaudioPlayer* s, const XA_Message&) {
        EXPECT_EQ(s, &p);
        ++messages;
    };
    auto log = [&](std::string s) { fired.push_back(std::move(s)); };
    auto str = [](auto v) { return std::to_string(v); };
    p.OnNotifyNack = [&](auto, uint8_t c, int16_t code) {
        log("nack " + str(c) + " " + str(code));
    };
    p.OnNotifyPong = [&](auto, uint32_t t) { log("pong " + str(t)); };
    p.OnNotifyPlayerState = [&](auto, int s) { log("state " + str(s)); };
    p.OnNotifyOutputPorts = [&](auto, uint32_t v) { log("ports " + str(v)); };
    p.OnNotifyInputPosition = [&](auto, uint32_t o, uint32_t r) {
        log("pos " + str(o) + "/" + str(r));
    };
    p.OnNotifyInputTimecode = [&](auto, uint8_t h, uint8_t m, uint8_t s, uint8_t fr) {
        log("tc " + str(h) + ":" + str(m) + ":" + str(s) + "." + str(fr));
    };
    p.OnNotifyOutputVolume = [&](auto, uint8_t m, uint8_t pcm, uint8_t b) {
        log("vol " + str(m) + " " + str(pcm) + " " + str(b));
    };
    p.OnNotifyOutputBalance = [&](auto, uint8_t b) { log("bal " + str(b)); };
    p.OnNotifyOutputPcmLevel = [&](auto, uint8_t l) { log("pcm " + str(l)); };
    p.OnNotifyCodecModule = [&](auto, int16_t id) { log("codec " + str(id)); };
    p.OnNotifyInputName = [&](auto, const std::string& n) { log("name " + n); };
    p.OnNotifyPlayerEnvironmentInteger = [&](auto, const std::string& n, int32_t v) {
        log("envi " + n + "=" + str(v));
    };
    p.OnNotifyPlayerEnvironmentString = [&](auto, const std::string& n, const std::string& v) {
        log("envs " + n + "=" + v);
    };
    p.OnNotifyOutputModuleInfo = [&](auto, uint8_t id, uint8_t nb, const std::string& n,
                                     const std::string& d) {
        log("modinfo " + str(id) + " " + str(nb) + " " + n + " " + d);
    };
    p.OnNotifyCodecDeviceInfo = [&](auto, uint8_t mid, uint8_t i, uint8_t fl, const std::string& n,
                                    const std::string& d) {
        log("devinfo " + str(mid) + " " + str(i) + " " + str(fl) + " " + n + " " + d);
    };
    p.OnNotifyInputFilterInfo = [&](auto, uint8_t id, const std::string& n) {
        log("filter " + str(id) + " " + n);
    };
    p.OnNotifyStreamParameters = [&](auto, uint32_t fq, uint16_t br, uint8_t ch) {
        log("params " + str(fq) + " " + str(br) + " " + str(ch));
    };
    p.OnNotifyStreamProperties = [&](auto, uint32_t nb, const void* props) {
        log("props " + str(nb) + " " + static_cast<const char*>(props));
    };
    p.OnNotifyCodecEqualizer = [&](auto, const void* eq) {
        log(std::string("eq ") + (eq ? static_cast<const char*>(eq) : "null"));
    };
    p.OnNotifyProgress = [&](auto, uint8_t s, uint8_t c, int16_t v, const std::string& m) {
        log("progress " + str(s) + " " + str(c) + " " + str(v) + " " + m);
    };
    p.OnNotifyDebug = [&](auto, uint8_t s, uint8_t l, const std::string& m) {
        log("debug " + str(s) + " " + str(l) + " " + m);
    };
    p.OnNotifyError = [&](auto, uint8_t s, int16_t c, const std::string& m) {
        log("error " + str(s) + " " + str(c) + " " + m);
    };

    struct Case {
        Record record;
        std::string expected;
    };
    std::vector<Case> cases;
    cases.push_back({std::move(Record(75).u8(4, 8).u16(6, 0xFFFE)), "nack 8 -2"});
    cases.push_back({std::move(Record(76).u32(4, 0xDEADBEEF)), "pong 3735928559"});
    cases.push_back({std::move(Record(78).u8(4, 3).u8(5, 9)), "state 3"});
    cases.push_back({std::move(Record(105).u8(4, 200).u8(5, 1)), "ports 200"});
    cases.push_back({std::move(Record(85).u32(4, 250).u32(8, 1000)), "pos 250/1000"});
    // Range 0 is passed on as it is; the application guards its division.
    cases.push_back({std::move(Record(85).u32(4, 7).u32(8, 0)), "pos 7/0"});
    cases.push_back({std::move(Record(87).u8(4, 1).u8(5, 2).u8(6, 3).u8(7, 4)), "tc 1:2:3.4"});
    cases.push_back({std::move(Record(100).u8(4, 10).u8(5, 20).u8(6, 30)), "vol 10 20 30"});
    cases.push_back({std::move(Record(101).u8(4, 10).u8(5, 20).u8(6, 30)), "bal 30"});
    cases.push_back({std::move(Record(102).u8(4, 10).u8(5, 20).u8(6, 30)), "pcm 20"});
    cases.push_back({std::move(Record(116).u16(4, 0x8001)), "codec -32767"});
    cases.push_back({std::move(Record(83).text(4, "/x/y.mp3")), "name /x/y.mp3"});
    cases.push_back({std::move(Record(80).text(4, "k").u32(8, uint32_t(-9))), "envi k=-9"});
    cases.push_back({std::move(Record(81).text(4, "k").text(8, "v w")), "envs k=v w"});
    cases.push_back({std::move(Record(107).u8(4, 5).u8(5, 2).text(8, "alsa").text(12, "ALSA out")),
                     "modinfo 5 2 alsa ALSA out"});
    cases.push_back({std::move(Record(118).u8(4, 1).u8(5, 2).u8(6, 3).text(8, "n").text(12, "d")),
                     "devinfo 1 2 3 n d"});
    cases.push_back({std::move(Record(92).text(4, "flt").u8(8, 6)), "filter 6 flt"});
    cases.push_back(
        {std::move(Record(112).u32(4, 44100).u16(8, 128).u8(10, 2)), "params 44100 128 2"});
    cases.push_back({std::move(Record(113).u32(4, 2).text(8, "abc")), "props 2 abc"});
    cases.push_back({Record(115), "eq null"});
    cases.push_back({std::move(Record(121).u8(4, 1).u8(5, 2).u16(6, 300).text(8, "half")),
                     "progress 1 2 300 half"});
    cases.push_back({std::move(Record(122).u8(4, 4).u8(5, 5).text(8, "dbg")), "debug 4 5 dbg"});
    cases.push_back({std::move(Record(123).u8(4, 2).u16(6, uint16_t(-7)).text(8, "bad file")),
                     "error 2 -7 bad file"});

    for (Case& c : cases) {
        fired.clear();
        messages = 0;
        deliver(p, f, c.record);
        EXPECT_EQ(messages, 1) << c.expected;
        EXPECT_EQ(fired, std::vector<std::string>{c.expected});
    }

    // Text references that point outside the record, or at bytes that run
    // to its end without a terminator, read as empty texts.
    {
        Record outside(83);
        outside.u32(4, XA_MESSAGE_SIZE + 100);
        Record unterminated(83);
        std::memset(reinterpret_cast<char*>(unterminated.m.get()) + 8000, 'x',
                    XA_MESSAGE_SIZE - 8000);
        unterminated.u32(4, 8000);
        for (Record* r : {&outside, &unterminated}) {
            fired.clear();
            deliver(p, f, *r);
            EXPECT_EQ(fired, std::vector<std::string>{"name "});
        }
    }

    // Codes 96 to 99 reach only OnNotifyMessage; so does a code with no
    // handler assigned.
    for (int32_t code : {96, 97, 99, 74}) {
        fired.clear();
        messages = 0;
        deliver(p, f, Record(code));
        EXPECT_EQ(messages, 1);
        EXPECT_TRUE(fired.empty());
    }

    // A message the library does not recognise fires nothing at all.
    fired.clear();
    messages = 0;
    EXPECT_TRUE(MessageWindow::post(p.windowHandle(), XA_WINDOW_MESSAGE_BASE + 78, 999999, 0));
    EXPECT_TRUE(MessageWindow::post(p.windowHandle(), 0x0010, 0, 0));
    PlainMessageWindow::processMessages();
    EXPECT_EQ(messages, 0);
    EXPECT_TRUE(fired.empty());
}

TEST_F(TXaudioPlayerTest, MessagesBeforeThePlayerExistsFireNothing) {
    TXaudioPlayer p;
    int messages = 0;
    p.OnNotifyMessage = [&](auto, const XA_Message&) { ++messages; };
    MessageWindow::post(p.windowHandle(), XA_WINDOW_MESSAGE_BASE + 78, 1, 0);
    PlainMessageWindow::processMessages();
    EXPECT_EQ(messages, 0);
}

} // namespace
