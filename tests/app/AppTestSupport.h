// Shared set-up of the application tests: one offscreen QApplication for the
// whole executable, a scratch folder that plays the program's folder, and the
// shared state reset around every test.
#pragma once

#include "app/AppPaths.h"
#include "app/svar.h"
#include "platform/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

#include <string>

namespace apptest {

// Creates the QApplication on first use (offscreen unless told otherwise).
void ensureApplication();

// A fresh folder under the system's temporary folder; removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; } // ends with "/"

private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);

// A program in `dir` whose folder counts as writable (a portable install).
sonvale::app::AppPaths portablePaths(const std::string& dir);

// Fixture: scratch program folder, scripted services, shared state reset.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ScratchDir dir;
    sonvale::app::AppPaths paths;
    sonvale::ui::ScriptedUiServices ui;
};

} // namespace apptest
