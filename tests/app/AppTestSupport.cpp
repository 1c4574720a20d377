#include "AppTestSupport.h"

#include "platform/ui/UiServices.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace apptest {

void ensureApplication() {
    static QApplication* app = nullptr;
    if (app)
        return;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    app = new QApplication(argc, argv); // lives until the process ends
}

ScratchDir::ScratchDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "sonvale-app-XXXXXX").string();
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = templ + "/";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

sonvale::app::AppPaths portablePaths(const std::string& dir) {
    return sonvale::app::AppPaths::forProgram(
        dir + "sonvale", [](const std::string&) { return true; },
        [](const char*) { return std::string(); }, [] { return std::string(); });
}

void AppFixture::SetUp() {
    ensureApplication();
    svar::ResetSharedState();
    paths = portablePaths(dir.path());
    sonvale::ui::setCurrentUiServices(&ui);
}

void AppFixture::TearDown() {
    sonvale::ui::setCurrentUiServices(nullptr);
    svar::ResetSharedState();
}

} // namespace apptest
