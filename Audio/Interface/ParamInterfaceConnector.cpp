#include "Audio/Interface/ParamInterfaceConnector.h"

#include "Audio/Interface/ParamInterfaceBase.h"
#include "Audio/Interface/ParamInterfaceClient.h"
#include "Audio/Interface/ParamMessage.h"

CError ParamTransport::wrap(std::string_view transport, uint32_t client, std::span<const uint8_t> message,
                            std::vector<uint8_t>* out) {
    CParamMessage m(transport);
    m.u32(client).u32(uint32_t(message.size())).bytes(message);
    return m.finish(out);
}

CError ParamTransport::unwrap(std::string_view transport, std::span<const uint8_t> data, uint32_t* client,
                              std::span<const uint8_t>* message) {
    CParamMessageReader in(data);
    KEL_TRY(in.readName());
    if (!in.is(transport)) return KEL_ERROR(kelstr_CParamInterfaceConnector_unwrap_Transport, in.name(), CString(transport));
    KEL_TRY(in.u32(client));
    KEL_TRY(in.block(message));
    KEL_TRY(in.end());
    return {};
}

CParamInterfaceBaseConnector::~CParamInterfaceBaseConnector() {
    if (m_base) m_base->setConnector(nullptr);
}

CError CParamInterfaceBaseConnector::processClientData(std::span<const uint8_t> transport) {
    if (!m_base) return KEL_ERROR(kelstr_CParamInterfaceBaseConnector_processClientData_NoBaseObject);
    uint32_t client = 0;
    std::span<const uint8_t> message;
    KEL_TRY(ParamTransport::unwrap(ParamMsg::kProcessBaseData, transport, &client, &message));
    if (!hasClient(client))
        return KEL_ERROR(kelstr_CParamInterfaceBaseConnector_processClientData_UnknownClient,
                         CString::number(int64_t(client)));
    KEL_TRY(m_base->processClientMessage(client, message));
    return {};
}

CParamInterfaceClientConnector::~CParamInterfaceClientConnector() {
    if (m_client) m_client->setConnector(nullptr);
}

CError CParamInterfaceClientConnector::onProcessBaseData(std::span<const uint8_t> transport) {
    if (!m_client) return KEL_ERROR(kelstr_CParamInterfaceClientConnector_onProcessBaseData_NoClientObject);
    uint32_t client = 0;
    std::span<const uint8_t> message;
    KEL_TRY(ParamTransport::unwrap(ParamMsg::kProcessBaseDataProxy, transport, &client, &message));
    if (client != clientId())
        return KEL_ERROR(kelstr_CParamInterfaceClientConnector_onProcessBaseData_WrongClient,
                         CString::number(int64_t(client)), CString::number(int64_t(clientId())));
    KEL_TRY(m_client->processBaseMessage(message));
    return {};
}
