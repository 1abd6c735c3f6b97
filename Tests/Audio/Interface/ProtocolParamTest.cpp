// Parameter part of the interface protocol through the in-process connectors:
// listening, changes, routing by connection and the undo brackets.
#include "Tests/Audio/Interface/ProtocolFixture.h"

namespace {
const char* const kIngain = "plugin.modMain.modTamblor.ingain";
const char* const kRelease = "plugin.modMain.modTamblor.release";

// update-param events of one parameter id.
int updates(const Editor& e, uint32_t id) {
    int n = 0;
    for (const CEventParams& p : e.events->params)
        if (p.get("event-name") == "update-param" && p.get("param-id") == CString::number(int64_t(id))) ++n;
    return n;
}
}  // namespace

TEST_F(ProtocolTest, ListenDeliversInformationAndValuesOnlyWhenTheTimerRuns) {
    Editor& a = openEditor();
    uint32_t id = 0, unknown = 0;
    ASSERT_TRUE(a.client->listenParam(kIngain, &id).ok());
    ASSERT_TRUE(a.client->listenParam("plugin.modMain.no-such-param", &unknown).ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Queued on the audio side, not delivered without the timer.
    EXPECT_GT(m_baseConnector->queuedCount(a.connector->clientId()), 0u);
    EXPECT_EQ(a.client->param(id)->values, nullptr);
    EXPECT_EQ(a.events->count("update-param-info"), 0);

    pump();
    EXPECT_EQ(m_baseConnector->queuedCount(a.connector->clientId()), 0u);
    const auto* m = a.client->param(id);
    ASSERT_TRUE(m->known);
    ASSERT_NE(m->info, nullptr);
    EXPECT_DOUBLE_EQ(m->info->maxValue(0), 4.0);
    ASSERT_NE(m->info->converter(0), nullptr);  // resolved in the editor's tree
    EXPECT_EQ(m->values->groupCount(), 8u);
    EXPECT_DOUBLE_EQ(a.client->paramValue(id, 5, 0), 1.0);
    EXPECT_FALSE(a.client->param(unknown)->known);
    EXPECT_EQ(a.client->param(unknown)->values, nullptr);
    // The client follows the group names parameter itself.
    EXPECT_EQ(a.client->groupName(1).utf8(), "Side");
    EXPECT_EQ(a.events->count("update-param-info"), 3);
}

TEST_F(ProtocolTest, ChangeParamWritesTheParameterAndEchoesToTheMirror) {
    Editor& a = openEditor();
    uint32_t id = 0;
    ASSERT_TRUE(a.client->listenParam(kIngain, &id).ok());
    pump();
    CAudioParamStorage values(*a.client->param(id)->values);
    values.setValue(2, 0, 0, 2.5);
    ASSERT_TRUE(a.client->changeParam(id, values).ok());
    EXPECT_DOUBLE_EQ(ingain(2), 2.5);  // handled on the sending thread
    EXPECT_DOUBLE_EQ(a.client->paramValue(id, 2, 0), 1.0);
    pump();
    EXPECT_DOUBLE_EQ(a.client->paramValue(id, 2, 0), 2.5);
    EXPECT_EQ(updates(a, id), 1);

    // One group's values go to that group only.
    CAudioParamStorage one(*a.client->param(id)->values);
    one.setValue(5, 0, 0, 3.0);
    one.setValue(2, 0, 0, 0.125);
    ASSERT_TRUE(a.client->changeParam(id, one, 5).ok());
    EXPECT_DOUBLE_EQ(ingain(5), 3.0);
    EXPECT_DOUBLE_EQ(ingain(2), 2.5);

    // Reset of one element of one group, then of everything.
    ASSERT_TRUE(a.client->resetParam(id, 5, 0, 1).ok());
    EXPECT_DOUBLE_EQ(ingain(5), 1.0);
    EXPECT_DOUBLE_EQ(ingain(2), 2.5);
    ASSERT_TRUE(a.client->resetParam(id).ok());
    EXPECT_DOUBLE_EQ(ingain(2), 1.0);
    pump();
    EXPECT_DOUBLE_EQ(a.client->paramValue(id, 2, 0), 1.0);
}

TEST_F(ProtocolTest, TextChangeCarriesItsItemList) {
    Editor& a = openEditor();
    uint32_t id = 0;
    ASSERT_TRUE(a.client->listenParam("plugin.modMain.instance-name", &id).ok());
    pump();
    EXPECT_EQ(a.client->paramText(id, 0, 0).utf8(), "MASTER BUS");
    CAudioParamStorage values(*a.client->param(id)->values);
    values.setText(0, 0, "DRUM BUS");
    ASSERT_TRUE(a.client->changeParam(id, values).ok());

    const std::vector<uint8_t> sent = a.connector->last(ParamMsg::kChangeParam);
    CParamMessageReader in(sent);
    uint32_t wire = 0, group = 0, version = 0, esize = 0, dtype = 0, groups = 0, items = 0, number = 0, type = 0, k = 0,
             ref = 0;
    CString name, text;
    ASSERT_TRUE(in.readName().ok());
    ASSERT_TRUE(in.u32(&wire).ok());
    ASSERT_TRUE(in.u32(&group).ok());
    ASSERT_TRUE(in.str(&name).ok());
    for (uint32_t* v : {&version, &esize, &dtype, &groups, &items, &number, &type}) ASSERT_TRUE(in.u32(v).ok());
    ASSERT_TRUE(in.str(&text).ok());
    ASSERT_TRUE(in.u32(&k).ok());
    ASSERT_TRUE(in.u32(&ref).ok());
    EXPECT_TRUE(in.end().ok());
    EXPECT_EQ(wire, a.client->wireId(id));
    EXPECT_EQ(group, kParamAll);
    EXPECT_EQ(name.utf8(), "plugin.modMain.instance-name");
    EXPECT_EQ((std::vector<uint32_t>{version, esize, dtype, groups, items, number, type, k, ref}),
              (std::vector<uint32_t>{1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(text.utf8(), "DRUM BUS");

    EXPECT_EQ(m_instanceName->storage().text(0, 0).utf8(), "DRUM BUS");
    pump();
    EXPECT_EQ(a.client->paramText(id, 0, 0).utf8(), "DRUM BUS");
}

TEST_F(ProtocolTest, UpdateParamReachesOnlyTheListeningConnections) {
    Editor& a = openEditor();
    Editor& b = openEditor();
    ASSERT_NE(a.connector->clientId(), b.connector->clientId());
    uint32_t aGain = 0, bRelease = 0, bGain = 0;
    ASSERT_TRUE(a.client->listenParam(kIngain, &aGain).ok());
    ASSERT_TRUE(b.client->listenParam(kRelease, &bRelease).ok());
    pump();

    // A change from the host side is queued for the listener's connection only.
    hostWrite(m_ingain, 0, 3.0);
    m_base->flushChanges();
    EXPECT_EQ(m_baseConnector->queuedCount(a.connector->clientId()), 1u);
    EXPECT_EQ(m_baseConnector->queuedCount(b.connector->clientId()), 0u);
    pump();
    EXPECT_EQ(updates(a, aGain), 1);
    EXPECT_EQ(b.events->count("update-param"), 0);
    EXPECT_DOUBLE_EQ(a.client->paramValue(aGain, 0, 0), 3.0);

    // Writing the value it already has sends nothing.
    hostWrite(m_ingain, 0, 3.0);
    pump();
    EXPECT_EQ(updates(a, aGain), 1);

    // A change made by one client reaches every listener, itself included.
    ASSERT_TRUE(b.client->listenParam(kIngain, &bGain).ok());
    pump();
    CAudioParamStorage values(*b.client->param(bGain)->values);
    values.setValue(1, 0, 0, 0.25);
    ASSERT_TRUE(b.client->changeParam(bGain, values).ok());
    pump();
    EXPECT_EQ(updates(a, aGain), 2);
    EXPECT_EQ(updates(b, bGain), 1);
    EXPECT_EQ(updates(b, bRelease), 0);
    EXPECT_DOUBLE_EQ(a.client->paramValue(aGain, 1, 0), 0.25);

    // After unlistening, A hears nothing more; the base forgets its listener.
    const size_t before = m_base->paramListenerCount();
    ASSERT_TRUE(a.client->unlistenParam(aGain).ok());
    EXPECT_EQ(m_base->paramListenerCount(), before - 1);
    hostWrite(m_ingain, 1, 0.75);
    pump();
    EXPECT_EQ(updates(a, aGain), 2);
    EXPECT_EQ(updates(b, bGain), 2);

    // A closed editor takes its listeners along.
    closeEditor(b);
    EXPECT_EQ(m_base->clientCount(), 1u);
    EXPECT_EQ(m_base->paramListenerCount(), 1u);  // A's group names
}

TEST_F(ProtocolTest, UndoBracketsBecomeHistoryEntries) {
    Editor& a = openEditor();
    uint32_t id = 0;
    ASSERT_TRUE(a.client->listenParam(kIngain, &id).ok());
    pump();
    CAudioParamUndo& undo = *m_base->paramUndo();
    auto change = [&](uint32_t g, double v) {
        CAudioParamStorage values(m_ingain->storage());
        values.setValue(g, 0, 0, v);
        ASSERT_TRUE(a.client->changeParam(id, values).ok());
    };

    // Several changes inside one bracket make one entry.
    const uint32_t drag = a.client->newUndoId();
    ASSERT_TRUE(a.client->createUndoData(drag, "Input gain change", id).ok());
    change(0, 2.0);
    change(0, 3.0);
    EXPECT_EQ(m_base->openUndoBrackets(), 1u);
    ASSERT_TRUE(a.client->submitUndoData(drag).ok());
    EXPECT_EQ(m_base->openUndoBrackets(), 0u);
    ASSERT_EQ(undo.count(), 2u);
    EXPECT_EQ(undo.text(1).utf8(), "Input gain change");
    pump();
    EXPECT_EQ(a.events->count("undo-history-changed"), 1);
    ASSERT_EQ(a.client->undoHistory().texts.size(), 2u);
    EXPECT_EQ(a.client->undoHistory().position, 1u);
    EXPECT_EQ(a.client->undoHistory().text.utf8(), "Input gain change");

    // No change, or a removed bracket: no entry (a removed bracket keeps its values).
    const uint32_t idle = a.client->newUndoId();
    ASSERT_TRUE(a.client->createUndoData(idle, "Nothing", id).ok());
    ASSERT_TRUE(a.client->submitUndoData(idle).ok());
    const uint32_t dropped = a.client->newUndoId();
    ASSERT_TRUE(a.client->createUndoData(dropped, "Dropped", id).ok());
    change(0, 3.5);
    ASSERT_TRUE(a.client->removeUndoData(dropped).ok());
    EXPECT_EQ(undo.count(), 2u);
    EXPECT_DOUBLE_EQ(ingain(0), 3.5);
    EXPECT_FALSE(a.client->submitUndoData(dropped).ok());
    EXPECT_FALSE(a.client->removeUndoData(dropped).ok());

    // A bracket of one group restores that group only; the submitted text wins.
    const uint32_t grp = a.client->newUndoId();
    ASSERT_TRUE(a.client->createUndoData(grp, "first text", id, 3).ok());
    change(3, 0.5);
    change(4, 0.625);
    ASSERT_TRUE(a.client->submitUndoData(grp, "Group 4 gain").ok());
    ASSERT_EQ(undo.count(), 3u);
    EXPECT_EQ(undo.text(2).utf8(), "Group 4 gain");

    ASSERT_TRUE(a.client->setUndoHistoryPos(1).ok());
    EXPECT_DOUBLE_EQ(ingain(3), 1.0);
    EXPECT_DOUBLE_EQ(ingain(4), 0.625);
    ASSERT_TRUE(a.client->setUndoHistoryPos(0).ok());
    EXPECT_DOUBLE_EQ(ingain(0), 1.0);
    pump();
    EXPECT_EQ(a.client->undoHistory().position, 0u);
    EXPECT_DOUBLE_EQ(a.client->paramValue(id, 0, 0), 1.0);
    ASSERT_TRUE(a.client->setUndoHistoryPos(2).ok());
    EXPECT_DOUBLE_EQ(ingain(0), 3.0);
    EXPECT_DOUBLE_EQ(ingain(3), 0.5);
    EXPECT_FALSE(a.client->setUndoHistoryPos(9).ok());

    // An explicit request is answered to the requester with its id.
    ASSERT_TRUE(a.client->requestUndoHistory().ok());
    pump();
    EXPECT_EQ(a.client->undoHistory().request, a.client->wireId(0));
    EXPECT_EQ(a.client->undoHistory().position, 2u);
}
