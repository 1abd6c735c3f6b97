// The change queue between the main thread and the audio thread.
#include <atomic>
#include <thread>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Tests/Audio/ParamFixture.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

class ChangeQueueTest : public ParamTest {
protected:
    void SetUp() override {
        ParamTest::SetUp();
        collector = std::make_unique<CAudioParamCollector>();
        gain = add("gain", {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "-1"}, {"max-values", "1"},
                            {"def-values", "0"}});
        size = add("size", {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "9"},
                            {"def-values", "1,2"}, {"is-single-group", "true"}});
        name = add("name", {{"converter", "shared::audio.paramcvt.text"}, {"data-type", "string"}, {"def-values", "x"}});
        std::vector<CAudioParam*> all = {gain, size, name};
        queue.prepare(all, &lock);
        collector->setChangeQueue(&queue);
    }
    void TearDown() override {
        collector->setChangeQueue(nullptr);
        queue.reset();
        params.clear();
        collector.reset();
        defs.clear();
        ParamTest::TearDown();
    }

    CAudioParam* add(const char* n, Attrs attrs) {
        EXPECT_FALSE(makeDef(attrs));
        defs.push_back(std::move(m_root));
        params.push_back(CAudioParam::create(*def, CString("plugin.") + n, 4));
        EXPECT_FALSE(collector->registerParam(params.back().get()));
        return params.back().get();
    }

    plat::CCritSec lock{0};
    CAudioParamChangeQueue queue;
    std::unique_ptr<CAudioParamCollector> collector;
    std::vector<std::unique_ptr<CObject>> defs;
    std::vector<std::unique_ptr<CAudioParam>> params;
    CAudioParam *gain = nullptr, *size = nullptr, *name = nullptr;
};

TEST_F(ChangeQueueTest, ValuesReachTheAudioSideAtTheNextTakeWhileTheMainSideSeesThemAtOnce) {
    EXPECT_EQ(queue.slotCount(), 4u /*gain*/ + 2u /*size*/);
    const uint32_t before = gain->changeCount();
    ASSERT_TRUE(kelMainParamWrite(*gain, 2, 0, 0, 0.5));
    EXPECT_EQ(gain->value(2, 0), 0.0);  // the audio side still reads the old value
    EXPECT_EQ(kelMainParamValue(*gain, 2, 0), 0.5);
    EXPECT_EQ(kelMainParamSnapshot(*gain).value(2, 0), 0.5);
    EXPECT_TRUE(queue.hasPending());

    // Taken but not applied yet: the main side still sees the new value.
    CAudioParamChangeSet* set = nullptr;
    {
        plat::CLock l(lock);
        set = queue.takePending();
    }
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(kelMainParamValue(*gain, 2, 0), 0.5);
    CAudioParamChangeQueue::apply(set);
    EXPECT_EQ(gain->value(2, 0), 0.5);
    EXPECT_NE(gain->changeCount(), before);
    EXPECT_FALSE(queue.hasPending());
    EXPECT_EQ(queue.takePending(), nullptr);  // nothing new

    // The applied set is emptied before it collects again.
    ASSERT_TRUE(queue.set(*gain, 1, 0, 0, -0.5));
    queue.takeAndApply();
    EXPECT_EQ(gain->value(1, 0), -0.5);
    EXPECT_EQ(gain->value(2, 0), 0.5);
}

TEST_F(ChangeQueueTest, SlotsFollowThePreparedShape) {
    struct Case {
        CAudioParam** p;
        uint32_t g, e;
        bool accepted;
    };
    const Case cases[] = {
        {&gain, 3, 0, true},  {&gain, 4, 0, false},  // four groups
        {&gain, 0, 1, false},                       // one element
        {&size, 0, 1, true},  {&size, 3, 1, true},   // single group: every group is group 0
        {&size, 0, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (*c.p)->fullName().utf8() << " " << c.g << "," << c.e);
        EXPECT_EQ(queue.set(**c.p, c.g, c.e, 0, 7.0), c.accepted);
    }
    queue.takeAndApply();
    EXPECT_EQ(size->value(0, 1), 7.0);
    EXPECT_EQ(size->value(5, 1), 7.0);
    // Text parameters are written directly, never queued.
    EXPECT_FALSE(queue.isPrepared(*name));
    EXPECT_FALSE(kelMainParamWrite(*name, 0, 0, 0, 1.0));
}

TEST_F(ChangeQueueTest, LastWriteWinsAndABatchIsTakenWhole) {
    {
        CAudioParamChangeQueue::CBatch batch(queue);
        for (uint32_t g = 0; g < 4; ++g) ASSERT_TRUE(batch.set(*gain, g, 0, 0, 0.1 * g));
        ASSERT_TRUE(batch.set(*gain, 0, 0, 0, 0.9));
        ASSERT_TRUE(batch.set(*size, 0, 0, 0, 3.0));
    }
    CAudioParamChangeSet* set = nullptr;
    {
        plat::CLock l(lock);
        set = queue.takePending();
    }
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->size(), 5u);
    CAudioParamChangeQueue::apply(set);
    EXPECT_EQ(gain->value(0, 0), 0.9);
    EXPECT_DOUBLE_EQ(gain->value(3, 0), 0.3);
    EXPECT_EQ(size->value(0, 0), 3.0);
}

TEST_F(ChangeQueueTest, TakingAndApplyingNeverAllocate) {
    for (int round = 0; round < 3; ++round) {
        {
            CAudioParamChangeQueue::CBatch batch(queue);
            for (uint32_t g = 0; g < 4; ++g) batch.set(*gain, g, 0, 0, 0.25 * round + 0.01 * g);
            batch.set(*size, 0, 1, 0, round);
        }
        alloc_counter::Scope scope;
        CAudioParamChangeSet* set = nullptr;
        {
            plat::CLock l(lock);
            set = queue.takePending();
        }
        CAudioParamChangeQueue::apply(set);
        queue.takeAndApply();  // nothing pending
        EXPECT_EQ(scope.allocations(), 0u) << "round " << round;
        EXPECT_EQ(size->value(0, 1), double(round));
    }
}

TEST_F(ChangeQueueTest, AnAudioThreadNeverSeesHalfABatch) {
    // The main thread writes the same value into every group of "gain" and
    // into "size"; the audio thread checks after each take that they agree.
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0}, applied{0};
    std::thread audio([&] {
        while (!stop.load()) {
            CAudioParamChangeSet* set = nullptr;
            {
                plat::CLock l(lock);
                set = queue.takePending();
            }
            if (!set) continue;
            CAudioParamChangeQueue::apply(set);
            applied.fetch_add(1);
            const double v = size->value(0, 0);
            for (uint32_t g = 0; g < 4; ++g)
                if (gain->value(g, 0) != v) torn.fetch_add(1);
        }
    });
    for (int i = 1; i <= 5000; ++i) {
        CAudioParamChangeQueue::CBatch batch(queue);
        for (uint32_t g = 0; g < 4; ++g) batch.set(*gain, g, 0, 0, i);
        batch.set(*size, 0, 0, 0, i);
    }
    while (queue.hasPending()) std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(applied.load(), 0);
    EXPECT_EQ(gain->value(3, 0), 5000.0);
}

TEST_F(ChangeQueueTest, StagedWritesKeepTheLiveShapeAndReportWhatChanged) {
    CAudioParamStorage values = kelMainParamSnapshot(*gain);
    values.setValue(1, 0, 0, 0.75);
    values.setValue(6, 0, 0, 0.5);  // beyond the live groups: not kept
    CAudioParamStorage text(name->storage());
    text.setText(0, 0, "renamed");
    CAudioParamWrites writes;
    writes.assign(*gain, values);
    writes.assign(*size, kelMainParamSnapshot(*size));  // unchanged
    writes.assign(*name, text);
    const std::vector<CAudioParam*> changed = writes.commit();
    EXPECT_EQ(changed, (std::vector<CAudioParam*>{gain, name}));
    EXPECT_EQ(name->storage().text(0, 0).utf8(), "renamed");  // text: at once
    EXPECT_EQ(gain->value(1, 0), 0.0);                         // numeric: at the next take
    queue.takeAndApply();
    EXPECT_EQ(gain->value(1, 0), 0.75);
    EXPECT_EQ(gain->storage().groupCount(), 4u);
}

}  // namespace
