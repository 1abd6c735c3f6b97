#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "Core/FileStream.h"

namespace {
std::string tempPath(const char* name) { return ::testing::TempDir() + "tamblor_" + name; }

void writeFile(const std::string& path, const std::string& text, bool append = false) {
    CFileWriter w;
    ASSERT_FALSE(w.open(CString(path), append));
    if (append) {
        ASSERT_FALSE(w.seekToEnd());
    }
    ASSERT_FALSE(w.write(text.data(), text.size()));
    ASSERT_FALSE(w.close());
}

std::string readAll(const std::string& path) {
    CFileReader r;
    EXPECT_FALSE(r.open(CString(path)));
    uint64_t size = 0;
    EXPECT_FALSE(r.getSize(&size));
    std::string s(size, '\0');
    EXPECT_FALSE(r.read(s.data(), s.size()));
    return s;
}
}  // namespace

TEST(FileStream, OpenFailuresNameTheFile) {
    const std::string missingDir = tempPath("no_such_dir") + "/x.bin";
    // The system's code for a missing folder on the way.
#ifdef _WIN32
    const std::string code = "3";  // ERROR_PATH_NOT_FOUND
#else
    const std::string code = "2";  // ENOENT
#endif
    struct Case {
        const char* name;
        std::function<CError()> open;
        std::string message;
    };
    const Case cases[] = {
        {"missing file", [&] { return CFileReader().open(CString(missingDir)); },
         "Unable to open file '" + missingDir + "' for reading (error " + code + ")."},
        {"rewriting", [&] { return CFileWriter().open(CString(missingDir)); },
         "Unable to open file '" + missingDir + "' for rewriting (error " + code + ")."},
        {"appending", [&] { return CFileWriter().open(CString(missingDir), true); },
         "Unable to open file '" + missingDir + "' for appending (error " + code + ")."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.open().message().utf8(), c.message);
    }
}

TEST(FileStream, ReadsWritesAppendsAndShortReads) {
    const std::string path = tempPath("stream.bin");
    writeFile(path, "0123456789");
    writeFile(path, "ab", true);
    EXPECT_EQ(readAll(path), "0123456789ab");
    writeFile(path, "xyz");  // rewriting truncates
    EXPECT_EQ(readAll(path), "xyz");

    CFileReader r;
    ASSERT_FALSE(r.open(CString(path)));
    ASSERT_FALSE(r.skip(1));
    const uint8_t* p = nullptr;
    ASSERT_FALSE(r.readStreamed(&p, 1));
    EXPECT_EQ(*p, 'y');
    uint64_t pos = 0;
    ASSERT_FALSE(r.getPosition(&pos));
    EXPECT_EQ(pos, 2u);
    char buf[10];
    EXPECT_EQ(r.read(buf, 10).message().utf8(),
              "Unable to read from file '" + path + "' (required 10 bytes, read 1 bytes).");
    ASSERT_FALSE(r.setPosition(0));
    EXPECT_EQ(r.readStreamed(&p, 4).message().utf8(), "Unable to read from file '" + path + "' (error 0).");
    std::remove(path.c_str());
}

TEST(FileStream, DashNamesTheStandardStreams) {
    CFileReader in;
    ASSERT_FALSE(in.open(CString("-")));
    EXPECT_EQ(in.fileName().utf8(), "stdin");
    CFileWriter out, err;
    ASSERT_FALSE(out.open(CString("-")));
    EXPECT_EQ(out.fileName().utf8(), "stdout");
    ASSERT_FALSE(err.open(CString("--")));
    EXPECT_EQ(err.fileName().utf8(), "stderr");
    // Closing leaves the process's standard streams open.
    ASSERT_FALSE(out.close());
    EXPECT_NE(std::fflush(stdout), EOF);
    EXPECT_FALSE(out.isOpen());
}
