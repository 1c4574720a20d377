#include "platform/loader/LibraryLoader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class LibraryLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("loader-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(LibraryLoaderTest, LoadsSystemLibraryAndFindsEntryPoint) {
    LibraryLoader& l = systemLibraryLoader();
    LoaderError err;
    LibraryLoader::Module m = l.load("libm.so.6", &err);
    ASSERT_NE(m, nullptr) << err.text;
    auto cosine = reinterpret_cast<double (*)(double)>(l.symbol(m, "cos", &err));
    ASSERT_NE(cosine, nullptr) << err.text;
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

    // A second load of the same library is the same module; each load is
    // dropped by its own unload.
    LibraryLoader::Module again = l.load("libm.so.6", &err);
    EXPECT_EQ(again, m);
    EXPECT_TRUE(l.unload(again, &err));
    EXPECT_TRUE(l.unload(m, &err)) << err.text;
}

TEST_F(LibraryLoaderTest, MissingEntryPointGivesNullWithCodeAndText) {
    LibraryLoader& l = systemLibraryLoader();
    LoaderError err;
    LibraryLoader::Module m = l.load("libm.so.6", &err);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(l.symbol(m, "noSuchEntryPointHere", &err), nullptr);
    EXPECT_EQ(err.code, uint32_t(ENOENT));
    EXPECT_NE(err.text.find("noSuchEntryPointHere"), std::string::npos) << err.text;
    EXPECT_EQ(l.symbol(nullptr, "cos", &err), nullptr);
    EXPECT_EQ(err.code, uint32_t(EINVAL));
    l.unload(m, nullptr);
}

TEST_F(LibraryLoaderTest, FailedLoadsReportWhyTheFileWasRefused) {
    LibraryLoader& l = systemLibraryLoader();
    LoaderError err;

    EXPECT_EQ(l.load((dir / "absent.so").string(), &err), nullptr);
    EXPECT_EQ(err.code, uint32_t(ENOENT));
    EXPECT_FALSE(err.text.empty());

    const fs::path text = dir / "notalibrary.so";
    std::ofstream(text) << "plain text, not a shared object\n";
    err = {};
    EXPECT_EQ(l.load(text.string(), &err), nullptr);
    EXPECT_EQ(err.code, uint32_t(ENOEXEC));
    EXPECT_FALSE(err.text.empty());

    err = {};
    EXPECT_EQ(l.load(dir.string(), &err), nullptr);
    EXPECT_EQ(err.code, uint32_t(EISDIR));

    // An empty name must not hand back the program itself.
    err = {};
    EXPECT_EQ(l.load("", &err), nullptr);
    EXPECT_EQ(err.code, uint32_t(ENOENT));

    // The error record is optional.
    EXPECT_EQ(l.load((dir / "absent.so").string(), nullptr), nullptr);
    EXPECT_FALSE(l.unload(nullptr, nullptr));
}

class CountingLoader : public LibraryLoader {
public:
    Module load(const std::string&, LoaderError*) override {
        ++loads;
        return this;
    }
    void* symbol(Module, const char*, LoaderError*) override { return nullptr; }
    bool unload(Module, LoaderError*) override { return true; }
    int loads = 0;
};

TEST_F(LibraryLoaderTest, InstalledBackendIsUsedUntilRemoved) {
    CountingLoader fake;
    EXPECT_EQ(&libraryLoader(), &systemLibraryLoader());
    setLibraryLoader(&fake);
    EXPECT_EQ(libraryLoader().load("anything", nullptr), &fake);
    EXPECT_EQ(fake.loads, 1);
    setLibraryLoader(nullptr);
    EXPECT_EQ(&libraryLoader(), &systemLibraryLoader());
}

} // namespace
