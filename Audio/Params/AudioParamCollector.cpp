#include "Audio/Params/AudioParamCollector.h"

#include <algorithm>

CAudioParamCollector::~CAudioParamCollector() {
    for (auto& [name, p] : m_params) p->m_collector = nullptr;
}

CError CAudioParamCollector::registerParam(CAudioParam* param) {
    auto [it, inserted] = m_params.emplace(param->fullName(), param);
    if (!inserted) {
        if (it->second == param) return {};
        return KEL_ERROR(kelstr_CAudioParamCollector_registerParam_DupeName, param->fullName());
    }
    if (param->m_collector && param->m_collector != this) param->m_collector->unregisterParam(param);
    param->m_collector = this;
    return {};
}

void CAudioParamCollector::unregisterParam(CAudioParam* param) {
    auto it = m_params.find(param->fullName());
    if (it != m_params.end() && it->second == param) m_params.erase(it);
    if (param->m_collector == this) param->m_collector = nullptr;
    plat::CLock lock(m_listenerLock);
    std::erase_if(m_subscriptions, [param](const Subscription& s) { return s.param == param; });
}

CAudioParam* CAudioParamCollector::findParam(const CString& fullName) const {
    auto it = m_params.find(fullName);
    return it == m_params.end() ? nullptr : it->second;
}

std::vector<CAudioParam*> CAudioParamCollector::paramsWithPrefix(const CString& prefix) const {
    std::vector<CAudioParam*> out;
    for (auto it = m_params.lower_bound(prefix); it != m_params.end() && it->first.startsWith(prefix); ++it)
        out.push_back(it->second);
    return out;
}

void CAudioParamCollector::addListener(CAudioParam* param, CAudioParamListener* listener) {
    plat::CLock lock(m_listenerLock);
    for (const Subscription& s : m_subscriptions)
        if (s.param == param && s.listener == listener) return;
    m_subscriptions.push_back({param, listener});
}

void CAudioParamCollector::removeListener(CAudioParamListener* listener, CAudioParam* param) {
    plat::CLock lock(m_listenerLock);
    std::erase_if(m_subscriptions, [&](const Subscription& s) {
        return s.listener == listener && (param == nullptr || s.param == param);
    });
}

void CAudioParamCollector::notifyChanged(CAudioParam& param) {
    plat::CLock lock(m_listenerLock);
    for (const Subscription& s : m_subscriptions)
        if (s.param == nullptr || s.param == &param) s.listener->paramChanged(param);
}
