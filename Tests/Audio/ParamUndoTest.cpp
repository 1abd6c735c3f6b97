// The undo history: capacity, position, and which entry's states undo and
// redo restore.
#include <gtest/gtest.h>

#include "Audio/Registry/AudioParamUndo.h"

namespace {

// Records which state is restored: "-text" for undo, "+text" for redo.
struct Log {
    std::vector<std::string> calls;
};

class CTestEntry : public CAudioParamUndoEntry {
public:
    CTestEntry(const char* text, Log& log) : CAudioParamUndoEntry(text), m_log(log) {}
    CError undo() override {
        m_log.calls.push_back("-" + text().utf8());
        return {};
    }
    CError redo() override {
        m_log.calls.push_back("+" + text().utf8());
        return {};
    }

private:
    Log& m_log;
};

std::vector<std::string> texts(const CAudioParamUndo& u) {
    std::vector<std::string> out;
    for (const CString& t : u.texts()) out.push_back(t.utf8());
    return out;
}

TEST(ParamUndo, CapacityNeverBelowFourAndTheStartEntryStays) {
    struct Case {
        int max;
        size_t kept;
    };
    for (const Case c : {Case{2, 4}, Case{0, 4}, Case{4, 4}, Case{6, 6}}) {
        SCOPED_TRACE(c.max);
        Log log;
        CAudioParamUndo u(c.max);
        EXPECT_EQ(texts(u), std::vector<std::string>{"Undo history start"});
        for (int i = 1; i <= 9; ++i)
            u.push(std::make_unique<CTestEntry>(("e" + std::to_string(i)).c_str(), log));
        EXPECT_EQ(u.count(), c.kept);
        EXPECT_EQ(u.text(0).utf8(), "Undo history start");
        EXPECT_EQ(u.text(u.count() - 1).utf8(), "e9");
        EXPECT_EQ(u.text(1).utf8(), "e" + std::to_string(10 - int(c.kept) + 1));
        EXPECT_EQ(u.position(), int(c.kept) - 1);
    }
}

TEST(ParamUndo, UndoRedoAndPositionRestoreTheRightStates) {
    Log log;
    CAudioParamUndo u(8);
    for (const char* t : {"a", "b", "c"}) u.push(std::make_unique<CTestEntry>(t, log));
    int notified = 0;
    u.setListener([&] { ++notified; });

    ASSERT_FALSE(u.undo());
    ASSERT_FALSE(u.undo());
    EXPECT_EQ(u.position(), 1);
    ASSERT_FALSE(u.redo());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"-c", "-b", "+b"}));
    log.calls.clear();

    ASSERT_FALSE(u.setPosition(0));
    ASSERT_FALSE(u.setPosition(3));
    EXPECT_EQ(log.calls, (std::vector<std::string>{"-b", "-a", "+a", "+b", "+c"}));
    EXPECT_FALSE(u.canRedo());
    EXPECT_TRUE(u.setPosition(4));  // beyond the history
    EXPECT_EQ(notified, 3 + 5);

    // At the start nothing is undone; a new entry after an undo drops what followed.
    ASSERT_FALSE(u.setPosition(0));
    log.calls.clear();
    ASSERT_FALSE(u.undo());
    EXPECT_TRUE(log.calls.empty());
    ASSERT_FALSE(u.redo());
    u.push(std::make_unique<CTestEntry>("d", log));
    EXPECT_EQ(texts(u), (std::vector<std::string>{"Undo history start", "a", "d"}));
    EXPECT_EQ(u.position(), 2);
}

}  // namespace
