#pragma once
// The link of a view to a registry of the audio side: the interface client
// it talks through and the registry handle it listens to. The handle is
// released with the link.

#include <cstdint>

#include "Core/Object.h"

class CParamInterfaceClient;

class CRegistryLink {
public:
    CRegistryLink() = default;
    CRegistryLink(const CRegistryLink&) = delete;
    CRegistryLink& operator=(const CRegistryLink&) = delete;
    ~CRegistryLink();
    // Finds the owner's client ("interface-client", "ui.interface-client")
    // and listens to its "param-registry" ("plugin.param-registry").
    CError bind(CObject& owner);
    // Listens to the owner's "param-registry" through a client the owner
    // found itself. Without a connection the handle stays 0; the client
    // listens again when its connector connects.
    void listen(CParamInterfaceClient* client, const CObject& owner);
    CParamInterfaceClient* client() const { return m_client; }
    uint32_t handle() const { return m_handle; }

private:
    CParamInterfaceClient* m_client = nullptr;
    uint32_t m_handle = 0;
};
