#pragma once
// CParamInterfaceClient: the user-interface end of the parameter interface.
// It sends the client messages (one operation each; fields as described in
// Audio/Interface/ParamInterfaceBase.h) and keeps local mirrors of what the
// base sends back: parameter information and values, registry descriptions,
// requested presets and banks, and the undo history. Views read the mirrors
// and send changes; they never touch the audio side.
//
// Attributes: "client-connector" (path of the client connector,
// "^interface-client-connector"), "group-names-param" (full name of the text
// parameter with the channel group names; the client listens to it itself).
//
// Ids: listenParam, listenRegistry (and the audio part's listenViz) hand out
// local numbers 1..65535; on the wire an id carries the connection number in
// its upper 16 bits. What the client listens to survives a reconnection:
// every subscription is sent again when the connector connects.
//
// Events notified to the client's listeners (CObject::notify) after a
// mirror changed:
//   "update-param"        "param-id" (local id), "param-name"
//   "update-param-info"   "param-id", "param-name", "is-known" (true/false)
//   "undo-history-changed"
//   "update-registry"     "registry-handle" (local handle), "reason"
//   "registry-data"       "registry-handle", "request-id", "flags"
//
// Threads: the user-interface thread only (messages arrive from the
// connector's timer there).

#include <map>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "Audio/Params/AudioParam.h"
#include "Audio/Interface/ParamMessage.h"
#include "Core/Object.h"

class CAudioPreset;
class CParamInterfaceClientConnector;

KELSTR(CParamInterfaceClient_processBaseMessage_UnknownMessage, "Unknown parameter interface message '%1'.");
KELSTR(CParamInterfaceClient_allocId_NoIds, "No free listener ids left.");
KELSTR(CParamInterfaceClient_unknownId, "Unknown local id %1.");
KELSTR(CParamInterfaceClient_foreignId, "Identifier %1 does not belong to this client.");
KELSTR(CParamInterfaceClient_onUpdateParam_NoInfo, "Values of parameter listener %1 arrived without its information.");

class CParamInterfaceClient : public CObject {
public:
    struct ParamMirror {
        CString name;
        bool known = false;  // the base has a parameter of that name
        std::unique_ptr<CAudioParamInfo> info;
        std::unique_ptr<CAudioParamStorage> values;
    };
    struct RegistryMirror {
        CString name;
        bool known = false;  // an "update-registry" arrived
        CString id, hierarchy, presetNaming;
        std::vector<CString> programs, factoryPresets, userPresets;
        uint32_t currentProgram = 0;
        CString currentProgramName;
        uint32_t flags = 0, reason = 0;
        CString defaultPresetName;
    };
    struct RegistryData {
        uint32_t handle = 0, requestId = 0, flags = 0;
        std::vector<uint8_t> bytes;  // the preset or the bank
    };
    struct UndoHistory {
        std::vector<CString> texts;
        uint32_t position = 0;
        uint32_t request = 0;
        CString text;
    };

    CParamInterfaceClient();
    ~CParamInterfaceClient() override;

    CError initLinks() override;
    CError initDone() override;
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

    // --- Connection ----------------------------------------------------------------
    CParamInterfaceClientConnector* connector() const { return m_connector; }
    void setConnector(CParamInterfaceClientConnector* connector);
    // The connection number (0: not connected).
    uint32_t clientId() const;
    // Sends every subscription again (the connector calls this when it connects).
    void onConnected();
    // Handles one message of the base.
    CError processBaseMessage(std::span<const uint8_t> message);

    // The wire form of a local id.
    uint32_t wireId(uint32_t local) const { return paramMakeId(clientId(), local); }

    // --- Parameter part ------------------------------------------------------------------
    CError listenParam(const CString& fullName, uint32_t* id);
    CError unlistenParam(uint32_t id);
    // Sends the complete values (all groups when group < 0, else the one
    // group of values for that group).
    CError changeParam(uint32_t id, const CAudioParamStorage& values, int group = -1);
    CError resetParam(uint32_t id, int group = -1, uint32_t firstElement = 0, uint32_t elementCount = kParamAll,
                      int component = -1);
    // Undo ids are the client's own; one bracket may cover several parameters.
    uint32_t newUndoId() { return ++m_nextUndo; }
    CError createUndoData(uint32_t undoId, const CString& text, uint32_t paramId, int group = -1);
    CError removeUndoData(uint32_t undoId);
    CError submitUndoData(uint32_t undoId, const CString& text = CString());
    CError requestUndoHistory();
    CError setUndoHistoryPos(uint32_t position);

    CError listenRegistry(const CString& name, uint32_t* handle);
    CError unlistenRegistry(uint32_t handle);
    CError setCurrentProgram(uint32_t handle, uint32_t index);
    CError renamePreset(uint32_t handle, uint32_t index, const CString& name);
    CError activateFactoryPreset(uint32_t handle, uint32_t index);
    // index: the preset's place in the bank it comes from (-1: none).
    CError activatePreset(uint32_t handle, const CAudioPreset& preset, int index = -1);
    // index -1: the current program; group -1: all groups.
    CError requestPreset(uint32_t handle, bool factory, int index, int group, uint32_t* requestId);
    CError requestBank(uint32_t handle, bool factory, uint32_t* requestId);
    CError setDefaultPreset(uint32_t handle, const CAudioPreset& preset);
    CError activateDefaultPreset(uint32_t handle);
    CError exchangeShadowPreset(uint32_t handle);
    CError updateShadowPreset(uint32_t handle);

    // --- Mirrors ---------------------------------------------------------------------------
    const ParamMirror* param(uint32_t id) const;
    // Mirrored value (the default when no values arrived yet; 0 for unknown ids).
    double paramValue(uint32_t id, uint32_t g, uint32_t e, uint32_t c = 0) const;
    CString paramText(uint32_t id, uint32_t g, uint32_t e) const;
    const RegistryMirror* registry(uint32_t handle) const;
    // Hands over (and forgets) the answer to a request.
    bool takeRegistryData(uint32_t requestId, RegistryData* out);
    const UndoHistory& undoHistory() const { return m_undo; }
    // Name of channel group g (from the group names parameter; its number
    // counted from 1 without one).
    CString groupName(int g) const;
    uint32_t groupNamesParamId() const { return m_groupNamesId; }

protected:
    // Dispatch of base messages: false when the name is not one of this class.
    virtual bool handleMessage(CParamMessageReader& in, CError* err);
    // Sends the subscriptions of this class again.
    virtual void resubscribe();
    // Sends a message; a failed message is not sent.
    CError send(CParamMessage& m);
    // Local id from a wire id of this client (an error for foreign ids).
    CError localOf(uint32_t wire, uint32_t* local) const;
    CError allocId(uint32_t* local);
    void freeId(uint32_t local) { m_usedIds.erase(local); }
    void notifyEvent(const char* event, CEventParams& params);

private:
    CError sendListenParam(uint32_t id);
    CError sendListenRegistry(uint32_t handle);
    CError sendHandle(std::string_view name, uint32_t handle);

    CError onUpdateParam(CParamMessageReader& in);
    CError onUpdateParamInfo(CParamMessageReader& in);
    CError onUpdateUndoHistory(CParamMessageReader& in);
    CError onUpdateRegistry(CParamMessageReader& in);
    CError onRegistryData(CParamMessageReader& in);

    CParamInterfaceClientConnector* m_connector = nullptr;
    std::set<uint32_t> m_usedIds;
    uint32_t m_nextId = 0;
    uint32_t m_nextUndo = 0;
    uint32_t m_nextRequest = 0;
    std::map<uint32_t, ParamMirror> m_params;
    std::map<uint32_t, RegistryMirror> m_registries;
    std::map<uint32_t, RegistryData> m_registryData;
    UndoHistory m_undo;
    uint32_t m_groupNamesId = 0;
};
