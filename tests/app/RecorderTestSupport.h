// Shared set-up of the tests that record, play and pick sources through the
// main window: the virtual sound card (sped up), Qt message windows for the
// player's notifications, the two run-time libraries beside the scratch
// program, and small helpers to wait while the event loop runs.
#pragma once

#include "AppTestSupport.h"
#include "app/smain.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace apptest {

class RecorderFixture : public AppFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Puts the libraries beside the scratch program (both by default).
    void installLibraries(bool encoder = true, bool player = true);
    // The window with its options dialog; start-up runs, the panel is built.
    std::unique_ptr<TMainFrm> create();
    // Configures the virtual card: devices with (true) or without a MUX.
    static void configureCard(std::vector<bool> mux, double speed);

    std::unique_ptr<TMainFrm> frm;
};

// Runs the event loop until `done` or `ms` pass; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int ms = 20000);

// Little-endian readers over a file's bytes.
uint32_t u32At(const std::string& bytes, size_t at);
uint16_t u16At(const std::string& bytes, size_t at);

} // namespace apptest
