#pragma once
// CParamInterfaceBase: the audio-side end of the parameter interface. It
// answers the messages of its clients (Audio/Interface/ParamMessage.h) with
// the parameter collector, the parameter registries and its own undo
// history, and keeps per client connection what that client listens to.
//
// Attributes: "base-connector" (path of the base connector,
// "^interface-base-connector"), "undo-count-max" (capacity of the undo
// history, default 32, never below 4), "param-collector"
// ("^param-collector"). Objects built in code may set the collector and the
// connector directly instead.
//
// Client -> base messages of the parameter part (fields after the name):
//   listen-param          string full name, u32 listener id
//                         -> "update-param-info" with information and values
//                            (or with neither when no parameter has the name)
//   unlisten-param        u32 listener id
//   change-param          u32 listener id, u32 group (kParamAll: the stored
//                         parameter holds every group; else its one group
//                         block is for that group), stored parameter
//   reset-param           u32 listener id, u32 group, u32 first element, u32
//                         element count, u32 component (kParamAll: all)
//                         -> the values return to the defaults
//   create-undo-data      u32 undo id, string text, u32 listener id, u32 group
//                         -> opens (or extends) an undo bracket: the current
//                            values of the parameter (that group, or all) are
//                            kept as the state before
//   remove-undo-data      u32 undo id -> the bracket is dropped
//   submit-undo-data      u32 undo id, string text (empty: the text given at
//                         creation) -> the bracket becomes one undo entry when
//                         a value of it changed, else it is dropped
//   request-undo-history  u32 listener id -> "update-undo-history"
//   set-undo-history-pos  u32 position -> undo or redo up to that entry
//   listen-registry       string registry name (object path, or the name of a
//                         sibling of the base), u32 registry handle
//                         -> "update-registry"
//   unlisten-registry     u32 handle
//   set-current-program   u32 handle, u32 program index
//   rename-preset         u32 handle, u32 preset index, string name
//   activate-factory-preset  u32 handle, u32 factory preset index
//   activate-preset       u32 handle, u32 bank index (kParamAll: none), preset
//   request-preset        u32 handle, u32 request id, u32 factory flag, u32
//                         index (kParamAll: the current program), u32 group
//                         (kParamAll: all) -> "registry-data"
//   request-bank          u32 handle, u32 request id, u32 factory flag
//                         -> "registry-data"
//   set-default-preset    u32 handle, preset
//   activate-default-preset, exchange-shadow-preset, update-shadow-preset
//                         u32 handle
// Base -> client:
//   update-param          u32 listener id, stored parameter
//   update-param-info     u32 listener id, u32 1 + parameter information or
//                         u32 0, u32 1 + stored parameter or u32 0
//   update-undo-history   u32 entry count and that many texts, u32 position,
//                         u32 request (the listener id of the request, 0 when
//                         unsolicited), string text of the entry at the position
//   update-registry       u32 handle, registry block (string id, string
//                         hierarchy, string preset naming, then three name
//                         lists, each u32 count and strings: programs, factory
//                         presets, user presets), u32 current program, string
//                         current program name, u32 flags (ParamRegistry::k*), u32
//                         reason (ParamRegistry::kReason*), string default preset name
//   registry-data         u32 handle, u32 request id, u32 flags (bit 0
//                         factory, bit 1 bank), preset or bank
//
// Every id of a message must belong to the connection it came through; a
// message with a foreign id, a truncated one or one with bytes left over is
// refused before anything changes.
//
// Unsolicited messages: "update-param" after any change of a listened
// parameter (by a client, a registry, undo, the host), sent when the changes
// are flushed (flushChanges; the in-process connector does so before each
// delivery) and only when the values differ from those sent last;
// "update-registry" when a listened registry announces a program or bank
// change; "update-param-info" again for parameters whose state names come
// from a registry's list when that registry changes; "update-undo-history"
// to every client after each change of the history.
//
// Lifetimes: the collector and the parameters outlive the base (they come
// before it in the instance template, and the parameters live as long as the
// instance); undo entries of brackets find their parameters by name.
//
// Threads: client messages are handled on the thread that delivers them
// (the user-interface thread); value changes may be announced from any
// thread (they only mark the parameter). The base's lock guards the client
// bookkeeping and is never held while registries, the collector or the undo
// history run.

#include <map>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Registry/AudioParamUndo.h"
#include "Audio/Interface/ParamMessage.h"
#include "Core/Object.h"
#include "Platform/Sync.h"

KELSTR(CParamInterfaceBase_getRegistry_NoParamRegistry, "No param registry object '%1' found.");
KELSTR(CParamInterfaceBase_getRegistry_ParamRegistryNULL, "Param registry object '%1' is NULL.");
KELSTR(CParamInterfaceBase_processClientMessage_UnknownMessage, "Unknown parameter interface message '%1'.");
KELSTR(CParamInterfaceBase_checkId_ForeignId, "Identifier %1 does not belong to client connection %2.");
KELSTR(CParamInterfaceBase_onParam_UnknownListener, "Unknown parameter listener %1.");
KELSTR(CParamInterfaceBase_onParam_NoParam, "Parameter listener %1 has no parameter.");
KELSTR(CParamInterfaceBase_onUndo_UnknownBracket, "Unknown undo data %1.");
KELSTR(CParamInterfaceBase_onListenRegistry_NotFound, "Parameter registry '%1' not found.");
KELSTR(CParamInterfaceBase_noCollector, "No parameter collector defined.");

class CAudioParamRegistry;
class CParamInterfaceBaseConnector;

class CParamInterfaceBase : public CObject, public CAudioParamUndoOwner, private CAudioParamListener {
public:
    CParamInterfaceBase();
    ~CParamInterfaceBase() override;

    CError init() override;
    CError initLinks() override;
    static void registerEvents(CClassRecord& record);

    // --- Bindings ------------------------------------------------------------------
    CAudioParamCollector* paramCollector() const { return m_collector; }
    void setParamCollector(CAudioParamCollector* collector);
    CParamInterfaceBaseConnector* connector() const { return m_connector; }
    // Binds the connector (and registers with it); nullptr unbinds.
    void setConnector(CParamInterfaceBaseConnector* connector);

    CAudioParamUndo* paramUndo() override { return &m_undo; }

    // --- Connections (the connector calls these) --------------------------------------
    void clientConnected(uint32_t client);
    // Forgets everything the client listened to and its open undo brackets.
    void clientDisconnected(uint32_t client);
    // Handles one message of a client.
    CError processClientMessage(uint32_t client, std::span<const uint8_t> message);
    // Sends "update-param" for every listened parameter whose values changed
    // since they were last sent.
    void flushChanges();

    // The registry of a handle, looked up under the base's lock.
    CError getRegistry(uint32_t handle, CAudioParamRegistry** out);

    // --- Introspection -------------------------------------------------------------------
    size_t clientCount() const;
    size_t paramListenerCount() const;
    size_t openUndoBrackets() const;

protected:
    // Per connection.
    struct UndoItem {
        CString name;     // full parameter name
        int group = -1;   // -1: all groups
        std::vector<uint8_t> before;  // stored parameter (that group only when group >= 0)
    };
    struct UndoBracket {
        CString text;
        std::vector<UndoItem> items;
    };
    struct ClientState {
        std::map<uint32_t, CAudioParam*> params;             // listener id -> parameter (nullptr: unknown)
        std::map<uint32_t, CAudioParamRegistry*> registries;  // handle -> registry (nullptr: not found)
        std::map<uint32_t, UndoBracket> brackets;             // undo id -> bracket
        std::set<uint32_t> vizListeners;
    };

    // Dispatch: returns false when the name is not a message of this class;
    // otherwise *err is the handler's result.
    virtual bool handleMessage(uint32_t client, CParamMessageReader& in, CError* err);
    // Releases what a departing client held (derived classes add theirs).
    virtual void releaseClient(uint32_t client, ClientState& state);
    // A client connected (after its bookkeeping exists; without the lock).
    virtual void welcomeClient(uint32_t client) { (void)client; }

    // Fails unless the id belongs to the client.
    static CError checkId(uint32_t client, uint32_t id);
    // Sends a finished message; a failed message is not sent and its error returned.
    CError sendToClient(uint32_t client, CParamMessage& msg);
    CError sendToAll(CParamMessage& msg);

    mutable plat::CCritSec m_lock{4000};
    std::map<uint32_t, ClientState> m_clients;  // guarded by m_lock

private:
    struct Listened {
        std::vector<uint32_t> listeners;  // listener ids of every client
        std::vector<uint8_t> lastSent;    // stored parameter last sent
        uint32_t lastCount = 0;
        bool dirty = false;
    };

    void paramChanged(CAudioParam& param) override;
    ClientState& stateLocked(uint32_t client);
    void dropListenerLocked(uint32_t id, CAudioParam* param);

    // Parameter part.
    CError onListenParam(uint32_t client, CParamMessageReader& in);
    CError onUnlistenParam(uint32_t client, CParamMessageReader& in);
    CError onChangeParam(uint32_t client, CParamMessageReader& in);
    CError onResetParam(uint32_t client, CParamMessageReader& in);
    CError onCreateUndoData(uint32_t client, CParamMessageReader& in);
    CError onRemoveUndoData(uint32_t client, CParamMessageReader& in);
    CError onSubmitUndoData(uint32_t client, CParamMessageReader& in);
    CError onRequestUndoHistory(uint32_t client, CParamMessageReader& in);
    CError onSetUndoHistoryPos(uint32_t client, CParamMessageReader& in);
    // Registry part.
    CError onListenRegistry(uint32_t client, CParamMessageReader& in);
    CError onUnlistenRegistry(uint32_t client, CParamMessageReader& in);
    CError onRegistryMessage(uint32_t client, CParamMessageReader& in);

    // The parameter of a listener id of the client.
    CError listenedParam(uint32_t client, uint32_t id, CAudioParam** out);
    // Writes values into a parameter and announces the change.
    CError writeParam(CAudioParam& p, const CAudioParamStorage& values);
    CError sendParamInfo(uint32_t client, uint32_t id, CAudioParam* p);
    CError sendUndoHistory(uint32_t client, uint32_t request);
    CError sendRegistry(uint32_t handle, CAudioParamRegistry& registry, uint32_t reason);
    CAudioParamRegistry* findRegistry(const CString& name) const;
    void watchRegistry(CAudioParamRegistry* registry);
    CError registryEvent(const CString& sender, uint32_t reason);

    CAudioParamCollector* m_collector = nullptr;
    CParamInterfaceBaseConnector* m_connector = nullptr;
    CAudioParamUndo m_undo;
    std::map<CAudioParam*, Listened> m_listened;  // guarded by m_lock
    std::set<CAudioParamRegistry*> m_watched;     // registries whose events the base follows
};
