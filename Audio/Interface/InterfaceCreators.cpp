#include "Audio/Interface/InterfaceCreators.h"

#include "Audio/Interface/AudioInterfaceBase.h"
#include "Audio/Interface/AudioInterfaceClient.h"
#include "Audio/Interface/ParamInterfaceUni.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kRows[] = {
    {"audio:interface-base", &make<CAudioInterfaceBase>, &CAudioInterfaceBase::registerEvents},
    {"audio:interface-client", &make<CAudioInterfaceClient>, &CAudioInterfaceClient::registerEvents},
    {"other:param-interface-base-connector-uni", &make<CParamInterfaceUniBaseConnector>,
     &CParamInterfaceUniBaseConnector::registerEvents},
    {"other:param-interface-client-connector-uni", &make<CParamInterfaceUniClientConnector>,
     &CParamInterfaceUniClientConnector::registerEvents},
};
}  // namespace

std::span<const CreatorRow> audioInterfaceCreatorRows() { return kRows; }
