// The platform layer's files, folders and module path, as both backends
// must provide them.
#include <gtest/gtest.h>

#include <string>

#include "Platform/File.h"
#include "Platform/System.h"
#include "Platform/Thread.h"

namespace {

std::string scratch(const char* name) {
    std::string dir = ::testing::TempDir();
    for (char& c : dir)
        if (c == '\\') c = '/';
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + "tamblor_plat_" + name;
}

std::string readAll(plat::FileHandle h) {
    uint32_t err = 0;
    std::string s(64, '\0');
    EXPECT_EQ(plat::seekFile(h, 0, 0, &err), 0);
    const int64_t n = plat::readFile(h, s.data(), s.size(), &err);
    s.resize(n > 0 ? size_t(n) : 0);
    return s;
}

}  // namespace

// Another instance reads a store's file while this one rewrites or appends
// to it, and an updatable reader writes while a plain reader is open.
TEST(PlatformFile, HandlesShareReadingAndWriting) {
    const std::string path = scratch("shared.bin");
    uint32_t err = 0;
    plat::FileHandle w = plat::openFileWrite(path, false, &err);
    ASSERT_NE(w, plat::kInvalidFile) << err;
    ASSERT_EQ(plat::writeFile(w, "abc", 3, &err), 3);

    plat::FileHandle r = plat::openFileRead(path, false, &err);
    ASSERT_NE(r, plat::kInvalidFile) << "a reader beside a writer, error " << err;
    EXPECT_EQ(readAll(r), "abc");

    plat::FileHandle a = plat::openFileWrite(path, true, &err);
    ASSERT_NE(a, plat::kInvalidFile) << "an appender beside both, error " << err;
    // Appending keeps the content; the writer positions itself at the end.
    EXPECT_EQ(plat::seekFile(a, 0, 2, &err), 3);
    ASSERT_EQ(plat::writeFile(a, "de", 2, &err), 2);
    EXPECT_EQ(readAll(r), "abcde");

    plat::FileHandle u = plat::openFileRead(path, true, &err);
    ASSERT_NE(u, plat::kInvalidFile) << "an updatable reader beside the rest, error " << err;
    EXPECT_EQ(plat::fileSize(u, &err), 5);
    ASSERT_EQ(plat::seekFile(u, 1, 0, &err), 1);
    ASSERT_EQ(plat::writeFile(u, "B", 1, &err), 1);
    EXPECT_EQ(readAll(r), "aBcde");

    for (plat::FileHandle h : {w, r, a, u}) EXPECT_TRUE(plat::closeFile(h, &err)) << err;
    // Rewriting truncates.
    w = plat::openFileWrite(path, false, &err);
    ASSERT_NE(w, plat::kInvalidFile);
    EXPECT_EQ(plat::fileSize(w, &err), 0);
    EXPECT_TRUE(plat::closeFile(w, &err));
    EXPECT_TRUE(plat::deleteFile(path));
    EXPECT_FALSE(plat::fileExists(path));
}

TEST(PlatformFile, OpeningCreatesOnlyWhereAsked) {
    const std::string missing = scratch("created.bin");
    plat::deleteFile(missing);
    uint32_t err = 0;
    EXPECT_EQ(plat::openFileRead(missing, false, &err), plat::kInvalidFile);
    EXPECT_NE(err, 0u);
    EXPECT_FALSE(plat::fileExists(missing));

    plat::FileHandle u = plat::openFileRead(missing, true, &err);  // updatable: created
    ASSERT_NE(u, plat::kInvalidFile) << err;
    EXPECT_EQ(plat::fileSize(u, &err), 0);
    EXPECT_TRUE(plat::closeFile(u, &err));
    EXPECT_TRUE(plat::fileExists(missing));
    EXPECT_TRUE(plat::deleteFile(missing));

    // A directory is no file: not opened for reading, not reported as one.
    const std::string dir = scratch("dir");
    ASSERT_TRUE(plat::createDirectory(dir));
    EXPECT_TRUE(plat::createDirectory(dir)) << "an existing directory is kept";
    EXPECT_TRUE(plat::directoryExists(dir));
    EXPECT_FALSE(plat::fileExists(dir));
    err = 0;
    EXPECT_EQ(plat::openFileRead(dir, false, &err), plat::kInvalidFile);
    EXPECT_NE(err, 0u);
    EXPECT_FALSE(plat::createDirectory(dir + "/missing/deeper")) << "one component at a time";
    EXPECT_FALSE(plat::directoryExists(missing));
}

TEST(PlatformSystem, FoldersAndModulePathUseSlashes) {
    const std::string user = plat::userAppDataFolder(), common = plat::commonAppDataFolder();
    const std::string module = plat::moduleFilePath(reinterpret_cast<const void*>(&scratch));
    for (const std::string& p : {user, common, module}) {
        SCOPED_TRACE(p);
        ASSERT_FALSE(p.empty());
        EXPECT_EQ(p.find('\\'), std::string::npos);
        EXPECT_NE(p.back(), '/');
    }
    EXPECT_TRUE(plat::directoryExists(user));
    // The module holding this code is the test program itself.
    EXPECT_TRUE(plat::fileExists(module));
    const std::string name = module.substr(module.rfind('/') + 1);
    EXPECT_EQ(name.rfind("tamblor_tests", 0), 0u) << name;

    // The counter measures a sleep (generous bounds for loaded machines).
    const int64_t t0 = plat::perfCounter();
    plat::sleepMs(20);
    const double s = plat::perfSeconds(t0, plat::perfCounter());
    EXPECT_GE(s, 0.015);
    EXPECT_LT(s, 2.0);
    EXPECT_GE(plat::processorCount(), 1u);
}
