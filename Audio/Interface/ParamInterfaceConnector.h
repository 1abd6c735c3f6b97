#pragma once
// The two ends of a parameter interface connection. A connector carries
// messages (Audio/Interface/ParamMessage.h) between the base and its clients
// wrapped in a transport message of its own:
//   "process-base-data"       client -> base: u32 client connection, u32 byte
//                             count, the message
//   "process-base-data-proxy" base -> client: the same fields
// The base connector hands unwrapped client messages to its base
// (processClientData), the client connector hands unwrapped base messages to
// its client (onProcessBaseData). How the transport buffers travel is the
// concrete connector's business (Other/ParamInterfaceUni.h: in-process).

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "Core/Object.h"

KELSTR(CParamInterfaceBaseConnector_processClientData_NoBaseObject, "No base object defined.");
KELSTR(CParamInterfaceClientConnector_onProcessBaseData_NoClientObject, "No client object defined.");
KELSTR(CParamInterfaceConnector_unwrap_Transport, "Invalid transport message '%1' (expected '%2').");
KELSTR(CParamInterfaceBaseConnector_processClientData_UnknownClient, "Unknown client connection %1.");
KELSTR(CParamInterfaceClientConnector_onProcessBaseData_WrongClient,
       "Data for client connection %1 arrived at connection %2.");

class CParamInterfaceBase;
class CParamInterfaceClient;

namespace ParamTransport {
// Wraps a message into a transport message.
CError wrap(std::string_view transport, uint32_t client, std::span<const uint8_t> message, std::vector<uint8_t>* out);
// Unwraps a transport message of the expected name (the payload views the input).
CError unwrap(std::string_view transport, std::span<const uint8_t> data, uint32_t* client,
              std::span<const uint8_t>* message);
}  // namespace ParamTransport

class CParamInterfaceBaseConnector : public CObject {
public:
    ~CParamInterfaceBaseConnector() override;

    // The base registers itself when it binds the connector.
    void setBase(CParamInterfaceBase* base) { m_base = base; }
    CParamInterfaceBase* base() const { return m_base; }

    // Client -> base: unwraps a "process-base-data" buffer and hands the
    // message to the base; returns the base's error (handled on the calling
    // thread).
    CError processClientData(std::span<const uint8_t> transport);

    // Base -> client: one message for one client connection, or for all.
    // Callable from any thread.
    virtual CError sendToClient(uint32_t client, std::span<const uint8_t> message) = 0;
    virtual CError sendToAll(std::span<const uint8_t> message) = 0;
    virtual bool hasClient(uint32_t client) const = 0;

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

private:
    CParamInterfaceBase* m_base = nullptr;
};

class CParamInterfaceClientConnector : public CObject {
public:
    ~CParamInterfaceClientConnector() override;

    void setClient(CParamInterfaceClient* client) { m_client = client; }
    CParamInterfaceClient* client() const { return m_client; }

    // Base -> client: unwraps a "process-base-data-proxy" buffer and hands
    // the message to the client.
    CError onProcessBaseData(std::span<const uint8_t> transport);

    // Client -> base: sends one message; returns the base's error when the
    // base handles it at once (in-process connectors).
    virtual CError sendToBase(std::span<const uint8_t> message) = 0;
    // The connection number the base knows this client by (0: not connected).
    virtual uint32_t clientId() const = 0;

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

private:
    CParamInterfaceClient* m_client = nullptr;
};
