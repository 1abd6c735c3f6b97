#include "Audio/Processes/Flow/ModProcessSwitch.h"

#include <algorithm>
#include <cmath>

#include "Audio/Graph/ProcessBuild.h"

// --- Definition ------------------------------------------------------------------

CError CModProcessSwitchDef::init() {
    KEL_TRY(CAudioProcessDefBaseInit::init());
    m_defChildName = attr("def-child-name");
    m_defIndex = int(attrInt("def-index", 0));
    m_allpassBank = attrBool("is-allpass-bank");
    m_paths.clear();
    const CString list = attr("process-list");
    if (list.trimmed().empty()) return {};
    int itemNo = 0;
    for (const CString& raw : splitString(list, u';')) {
        const CString item = raw.trimmed();
        ++itemNo;
        if (item.empty()) continue;
        size_t colon = item.find(u':');
        if (colon == CString::npos) return KEL_ERROR(kelstr_CModProcessSwitchDef_init_NoIndex, CString::number(int64_t(itemNo)));
        int64_t idx = 0;
        const CString idxText = item.substr(0, colon).trimmed();
        if (!idxText.toInt(&idx) || idx < 0)
            return KEL_ERROR(kelstr_CModProcessSwitchDef_init_IndexError, idxText, CString::number(int64_t(itemNo)));
        for (const auto& [i, p] : m_paths)
            if (i == idx)
                return KEL_ERROR(kelstr_CModProcessSwitchDef_init_IndexDupeError, idxText, CString::number(int64_t(itemNo)));
        m_paths.emplace_back(int(idx), item.substr(colon + 1).trimmed());
    }
    return {};
}

CError CModProcessSwitchDef::initLinks() {
    KEL_TRY(CAudioProcessDefBaseInit::initLinks());
    m_items.clear();
    for (const auto& [idx, path] : m_paths) {
        const auto* d = dynamic_cast<const CAudioProcessDefBase*>(findObject(path));
        if (d) m_items.push_back({idx, d});
    }
    return {};
}

std::unique_ptr<CAudioProcessBase> CModProcessSwitchDef::createProcess() const {
    return std::make_unique<CModProcessSwitch>();
}

// --- Runtime -------------------------------------------------------------------------

CError CModProcessSwitch::moduleSetup(CAudioProcessBuild& b) {
    registerParam(b, 0, "index", 0.0);
    registerParam(b, 1, "count", 0.0);
    const auto* def = static_cast<const CModProcessSwitchDef*>(m_def);
    for (const auto& item : def->items()) {
        // A definition listed under several indices is built once.
        CAudioProcessBase* proc = child(item.def->name());
        if (!proc) {
            std::unique_ptr<CAudioProcessBase> p = b.createProcess(*item.def);
            p->setName(item.def->name());
            p->setTag(item.def->tag());
            p->setGroup(m_group);
            proc = p.get();
            attachChild(std::move(p));
            KEL_TRY(proc->build(*item.def, b));
        }
        m_entries.push_back({item.index, proc});
        if (item.index == def->defIndex()) m_default = proc;
    }
    for (const auto& e : m_entries) m_outPorts = std::max(m_outPorts, e.process->outputPortCount());
    return {};
}

CAudioProcessBase* CModProcessSwitch::child(const CString& name) const {
    for (const auto& c : children())
        if (c->name() == name) return dynamic_cast<CAudioProcessBase*>(c.get());
    return nullptr;
}

CString CModProcessSwitch::childAliasPrefix(const CAudioProcessBase&) const {
    return fullName() + CString(".") + static_cast<const CModProcessSwitchDef*>(m_def)->defChildName();
}

CError CModProcessSwitch::prepare(const CProcessConfig& config) {
    for (const auto& c : children())
        if (auto* p = dynamic_cast<CAudioProcessBase*>(c.get())) {
            p->setInputPortCount(int(m_inputs.size()));
            KEL_TRY(p->prepare(config));
        }
    KEL_TRY(CAudioProcessBase::prepare(config));
    const double xfade = xfadeSeconds();
    m_fadeCurve.resize(size_t(std::max(1L, std::lround(xfade * config.maxSampleRate))));
    m_fadePos = 0;
    m_fading = nullptr;
    m_playing = false;
    return {};
}

CAudioProcessBase* CModProcessSwitch::select(int index) const {
    for (const auto& e : m_entries)
        if (e.index == index) return e.process;
    return m_default;
}

void CModProcessSwitch::updateParams() {
    const double v = param(0);
    CAudioProcessBase* next = select(int(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5)));
    if (next == m_active) return;
    // Before any audio has passed the new child simply takes over.
    if (m_active && next && m_playing) {
        m_fading = m_active;
        m_fadePos = 1;
        const double xfade = xfadeSeconds();
        m_fadeLength = std::clamp(int(std::lround(xfade * m_rate)), 1, int(m_fadeCurve.size()));
        for (int i = 0; i < m_fadeLength; ++i)
            m_fadeCurve[size_t(i)] = 0.5 - 0.5 * std::cos(M_PI * (i + 1) / double(m_fadeLength));
    }
    m_active = next;
    if (m_active) {
        // The newly selected algorithm starts from rest.
        m_active->setRate(m_rate);
        m_active->setChannels(m_channels);
        m_active->reset();
        m_active->update();
    }
}

bool CModProcessSwitch::update() {
    const double oldLatency = latency();
    CAudioProcessTerminalBase::update();
    for (CAudioProcessBase* c : {m_active, m_fading})
        if (c) {
            c->setChannels(m_channels);
            c->update();
        }
    return latency() != oldLatency;
}

void CModProcessSwitch::setRate(double sampleRate) {
    CAudioProcessTerminalBase::setRate(sampleRate);
    for (const auto& c : children())
        if (auto* p = dynamic_cast<CAudioProcessBase*>(c.get())) p->setRate(sampleRate);
}

void CModProcessSwitch::setChannels(int channels) {
    CAudioProcessBase::setChannels(channels);
}

double CModProcessSwitch::latency() const { return m_active ? m_active->latency() : 0.0; }

double CModProcessSwitch::maxLatencySeconds() const {
    double m = 0.0;
    for (const auto& e : m_entries) m = std::max(m, e.process->maxLatencySeconds());
    return m;
}

void CModProcessSwitch::feed(CAudioProcessBase* c, int frames) {
    for (int p = 0; p < int(m_inputs.size()) && p < c->inputPortCount(); ++p) c->input(p) = m_inputs[size_t(p)];
    c->process(frames);
}

void CModProcessSwitch::process(int frames) {
    m_mixed = false;
    if (frames > 0) m_playing = true;
    if (!m_active) return;
    feed(m_active, frames);
    if (!m_fading) return;
    feed(m_fading, frames);
    // Cross-fade from the old child's outputs to the new one's.
    const int outFrames = m_active->outputFrames(frames);
    const int ports = std::min(m_active->outputPortCount(), m_fading->outputPortCount());
    int pos = 0;
    for (int p = 0; p < ports; ++p)
        for (int ch = 0; ch < m_channels; ++ch) {
            const double* a = m_fading->outputChannel(p, ch);
            const double* b = m_active->outputChannel(p, ch);
            double* out = outputBuffer(p, ch);
            pos = m_fadePos;
            for (int i = 0; i < outFrames; ++i, ++pos) {
                const double w = pos <= m_fadeLength ? m_fadeCurve[size_t(pos - 1)] : 1.0;
                out[i] = a[i] + (b[i] - a[i]) * w;
            }
        }
    m_fadePos = pos;
    m_mixed = true;
    if (m_fadePos > m_fadeLength) m_fading = nullptr;
}

const double* CModProcessSwitch::outputChannel(int port, int ch) const {
    if (m_mixed || !m_active || port >= m_active->outputPortCount()) return m_out.channel(port, ch);
    return m_active->outputChannel(port, ch);
}

void CModProcessSwitch::reset() {
    for (const auto& c : children())
        if (auto* p = dynamic_cast<CAudioProcessBase*>(c.get())) p->reset();
    m_fading = nullptr;
    m_fadePos = 0;
    m_playing = false;
}
