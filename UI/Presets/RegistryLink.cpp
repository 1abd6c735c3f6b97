#include "UI/Presets/RegistryLink.h"

#include "Audio/Interface/ParamInterfaceClient.h"
#include "Core/Log.h"

CRegistryLink::~CRegistryLink() {
    if (m_client && m_handle)
        if (CError e = m_client->unlistenRegistry(m_handle)) kelLogError(e);
}

CError CRegistryLink::bind(CObject& owner) {
    const CString clientPath =
        owner.hasAttr("interface-client") ? owner.attr("interface-client") : CString("ui.interface-client");
    CParamInterfaceClient* client = nullptr;
    KEL_TRY(owner.findObjectChecked(clientPath, &client));
    listen(client, owner);
    return {};
}

void CRegistryLink::listen(CParamInterfaceClient* client, const CObject& owner) {
    m_client = client;
    const CString registry =
        owner.hasAttr("param-registry") ? owner.attr("param-registry").trimmed() : CString("plugin.param-registry");
    if (CError e = m_client->listenRegistry(registry, &m_handle)) kelLogError(e);
}
