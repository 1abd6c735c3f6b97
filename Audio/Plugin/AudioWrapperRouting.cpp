// CAudioWrapper: the routing presets as the host sees them, and the routing
// that follows the width of the host's bus.
//
// Threads: everything here runs on the host's main thread; the values reach
// the audio side through the routing registry and the pending change set.
#include <algorithm>

#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Registry/AudioPresetStore.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Plugin/AudioWrapperImpl.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"

namespace {
const char* const kRoutingParams[] = {"in-routing", "out-routing", "grouping"};

// The preset that matches a bus of that many channels when the routing is
// still the stereo default; empty for widths that have none.
CString presetForWidth(int channels) {
    switch (channels) {
        case 3: return "2.1 Stereo";
        case 6: return "5.1 Surround (Multi)";
        case 8: return "7.1 Surround (Multi)";
        default: return CString();
    }
}
}  // namespace

// Changes of the routing parameters made inside the plug-in, for the host's
// routing list (main thread: the registry informs after applying a preset).
class CRoutingListener : public CAudioParamListener {
public:
    explicit CRoutingListener(CAudioWrapper* core) : m_core(core) {}
    void paramChanged(CAudioParam&) override { m_core->reportRoutingChange(); }

private:
    CAudioWrapper* m_core;
};

CError CAudioWrapper::bindRouting() {
    Impl& d = *m_impl;
    if (!d.useRouting) return {};
    d.ioRegistry = dynamic_cast<CAudioParamRegistry*>(d.root->findObject("plugin.param-registry-io"));
    for (size_t i = 0; i < std::size(kRoutingParams); ++i)
        d.routing[i] = d.collector->findParam(CString("plugin.modMain.io-params.") + kRoutingParams[i]);
    if (!d.ioRegistry || !d.routing[0] || !d.routing[1] || !d.routing[2]) {
        d.ioRegistry = nullptr;
        return {};
    }
    d.routingListener = std::make_unique<CRoutingListener>(this);
    for (CAudioParam* p : d.routing) d.collector->addListener(p, d.routingListener.get());
    return {};
}

void CAudioWrapper::reportRoutingChange() {
    if (m_initialized) onRoutingChanged();
}

CAudioPresetBank CAudioWrapper::routingPresets() const {
    CAudioPresetBank list;
    if (!m_impl->ioRegistry) return list;
    if (CError e = AudioPresetStore::read(AudioPresetStore::resolve(*m_impl->ioRegistry, "routing-presets"), &list))
        kelLogError(e);
    return list;
}

int CAudioWrapper::routingPresetCount() const { return int(routingPresets().size()); }

CString CAudioWrapper::routingPresetName(int index) const {
    const CAudioPresetBank list = routingPresets();
    if (index < 0 || size_t(index) >= list.size()) return CString();
    return list.preset(size_t(index)).displayName();
}

// True when the routing parameters hold exactly the values the preset gives.
bool CAudioWrapper::routingEquals(const CAudioPreset& preset) const {
    const Impl& d = *m_impl;
    for (size_t i = 0; i < std::size(kRoutingParams); ++i) {
        const CAudioPresetRecord* r = preset.find(CString("io-params.") + kRoutingParams[i]);
        if (!r) r = preset.find(kRoutingParams[i]);
        if (!r) continue;
        CAudioParamStorage stored(d.routing[i]->storage());
        CMemoryReader in(r->data.data(), r->data.size());
        if (stored.load(in)) return false;
        const uint32_t n = std::max(stored.elementCount(0), d.routing[i]->storage().elementCount(0));
        for (uint32_t e = 0; e < n; ++e)
            if (stored.value(0, e) != kelMainParamValue(*d.routing[i], 0, e)) return false;
    }
    return true;
}

int CAudioWrapper::currentRoutingPreset() const {
    if (!m_impl->ioRegistry) return -1;
    const CAudioPresetBank list = routingPresets();
    for (size_t i = 0; i < list.size(); ++i)
        if (routingEquals(list.preset(i))) return int(i);
    return -1;
}

CError CAudioWrapper::setRoutingPreset(int index) {
    Impl& d = *m_impl;
    if (!d.ioRegistry) return {};
    const CAudioPresetBank list = routingPresets();
    if (index < 0 || size_t(index) >= list.size()) return {};
    return d.ioRegistry->activatePreset(list.preset(size_t(index)));
}

bool CAudioWrapper::routingIsDefault() const {
    const Impl& d = *m_impl;
    for (CAudioParam* p : d.routing) {
        const CAudioParamInfo* info = p->storage().info();
        const uint32_t n = std::max<uint32_t>(p->storage().elementCount(0), info ? info->defaultElementCount() : 0);
        for (uint32_t e = 0; e < n; ++e)
            if (kelMainParamValue(*p, 0, e) != (info ? info->defaultValue(e) : 0.0)) return false;
    }
    return true;
}

void CAudioWrapper::followBusWidth() {
    Impl& d = *m_impl;
    const int channels = d.busWidth;
    if (!d.ioRegistry || channels <= 2 || !routingIsDefault()) return;
    const CAudioPresetBank list = routingPresets();
    const CString wanted = presetForWidth(channels);
    int named = -1;
    for (size_t i = 0; i < list.size() && named < 0 && !wanted.empty(); ++i)
        if (list.preset(i).displayName() == wanted) named = int(i);
    CError e;
    if (named >= 0) {
        e = d.ioRegistry->activatePreset(list.preset(size_t(named)));
    } else {
        // Each host channel in and out in place, all in one linked group.
        const int n = std::min(channels, m_intChannels);
        for (int k = 0; k < n; ++k) {
            kelMainParamWrite(*d.routing[0], 0, uint32_t(k), 0, double(k + 1));
            kelMainParamWrite(*d.routing[1], 0, uint32_t(k), 0, double(k + 1));
            kelMainParamWrite(*d.routing[2], 0, uint32_t(k), 0, 0.0);
        }
        for (CAudioParam* p : d.routing)
            if (p->collector()) p->collector()->notifyChanged(*p);
    }
    if (e) kelLogError(e);
}

void CAudioWrapper::setBusWidth(int channels) {
    m_impl->busWidth = channels;
    followBusWidth();
}
