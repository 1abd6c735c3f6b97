#include "Audio/Processes/Flow/ModLatencyUniformer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

KELSTR(CModLatencyUniformer_setLatencies_Invalid, "Invalid 'latencies' attribute value '%1' specified.");
KELSTR(CModLatencyUniformer_update_UnsupportedRate, "Unsupported sample rate %1 in LatencyUniformer");
KELSTR(CModLatencyUniformer_update_TooHighLatency, "Too high latency %1 at sample rate %2 in LatencyUniformer");

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool parseInt(std::string_view s, int* out) {
    s = trimmed(s);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

// The rate as printf's "%f" writes it.
CString rateText(double rate) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", rate);
    return CString(buf);
}

}  // namespace

CError CModLatencyUniformer::setLatencies(std::string_view text) {
    std::vector<Entry> table;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t semi = rest.find(';');
        const std::string_view pair = trimmed(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        Entry e;
        if (eq == std::string_view::npos || !parseInt(pair.substr(0, eq), &e.rate) ||
            !parseInt(pair.substr(eq + 1), &e.samples) || e.rate <= 0 || e.samples < 0)
            return KEL_ERROR(kelstr_CModLatencyUniformer_setLatencies_Invalid, CString(text));
        table.push_back(e);
    }
    m_table = std::move(table);
    return {};
}

const CModLatencyUniformer::Entry* CModLatencyUniformer::entryFor(double rate) const {
    const long r = std::lround(rate);
    for (const Entry& e : m_table)
        if (e.rate >= r) return &e;
    return nullptr;
}

void CModLatencyUniformer::prepare(double sampleRate, int /*maxBlock*/, int lanes) {
    m_rate = sampleRate;
    m_upstream = 0;
    const Entry* top = entryFor(sampleRate);
    int longest = 0;
    for (const Entry& e : m_table)
        if (!top || e.rate <= top->rate) longest = std::max(longest, e.samples);
    m_delay.setFadeLength(int(std::lround(m_xfadeSec * sampleRate)));
    m_delay.prepare(lanes, longest);
    m_delay.setDelay(0);
    m_delay.reset();
}

CModLatencyUniformer::Status CModLatencyUniformer::setSampleRate(double sampleRate) {
    m_rate = sampleRate;
    m_delay.setFadeLength(int(std::lround(m_xfadeSec * sampleRate)));
    return padUpstream(m_upstream);
}

CModLatencyUniformer::Status CModLatencyUniformer::padUpstream(int upstream) {
    m_upstream = upstream;
    const Entry* e = entryFor(m_rate);
    if (!e) {
        m_delay.setDelay(0);
        return Status::UnsupportedRate;
    }
    if (upstream > e->samples) {
        m_delay.setDelay(0);
        return Status::TooHighLatency;
    }
    m_delay.setDelay(e->samples - upstream);
    return Status::Ok;
}

CError CModLatencyUniformer::setUpstreamLatency(int upstream) {
    switch (padUpstream(upstream)) {
        case Status::UnsupportedRate:
            return KEL_ERROR(kelstr_CModLatencyUniformer_update_UnsupportedRate, rateText(m_rate));
        case Status::TooHighLatency:
            return KEL_ERROR(kelstr_CModLatencyUniformer_update_TooHighLatency, CString::number(int64_t(upstream)),
                             rateText(m_rate));
        default:
            return {};
    }
}
