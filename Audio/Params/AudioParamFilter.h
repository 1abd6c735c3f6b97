#pragma once
// Parameter filters: derive destination parameters from source parameters.
// "src" and "dst" are comma-separated parameter names (at most 9 each),
// relative to the object holding the filter as remap names are; each kind of
// filter fixes how many of each it needs.
//
// bindParams looks the names up among the instance's runtime parameters;
// update recomputes the destinations (whoever watches the sources calls it).

#include <span>
#include <vector>

#include "Audio/Params/AudioParam.h"
#include "Core/Object.h"

KELSTR(CAudioParamFilter_init_TooManySrcParams, "Too many source parameters %1 defined in the param filter.");
KELSTR(CAudioParamFilter_init_NotEnoughSrcParams,
       "Not enough source parameters %1 defined in the param filter (required %2).");
KELSTR(CAudioParamFilter_init_TooManyDstParams, "Too many destination parameters %1 defined in the param filter.");
KELSTR(CAudioParamFilter_init_NotEnoughDstParams,
       "Not enough destination parameters %1 defined in the param filter (required %2).");
KELSTR(CAudioParamFilterDef_init_NoSrcParams, "No source parameters defined.");
KELSTR(CAudioParamFilterDef_init_NoDstParams, "No destination parameters defined.");
KELSTR(CAudioParamFilter_bindParams_NotFound, "Parameter '%1' of the param filter not found.");

class CAudioParamCollector;

class CAudioParamFilter : public CObject {
public:
    static constexpr size_t kMaxParams = 9;

    CError init() override;

    std::span<const CString> srcNames() const { return {m_srcNames.data(), m_srcNames.size()}; }
    std::span<const CString> dstNames() const { return {m_dstNames.data(), m_dstNames.size()}; }

    // Finds the runtime parameters; names resolve from scopeFullName (the
    // runtime full name of the object holding the filter).
    CError bindParams(CAudioParamCollector& collector, const CString& scopeFullName);
    std::span<CAudioParam* const> srcParams() const { return {m_src.data(), m_src.size()}; }
    std::span<CAudioParam* const> dstParams() const { return {m_dst.data(), m_dst.size()}; }

    // Recomputes the bound destinations; true when one of them changed (its
    // listeners in the collector are then informed).
    bool update();

    // The rule: computes the destinations from the sources (a source may be
    // nullptr: it reads as its default).
    virtual void apply(std::span<const CAudioParam* const> src, std::span<CAudioParam* const> dst) const = 0;

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

protected:
    virtual size_t requiredSrcCount() const = 0;
    virtual size_t requiredDstCount() const = 0;

private:
    std::vector<CString> m_srcNames;
    std::vector<CString> m_dstNames;
    std::vector<CAudioParam*> m_src;
    std::vector<CAudioParam*> m_dst;
    CAudioParamCollector* m_collector = nullptr;
};

// audio:param-filter-bypass-group-solo -- 1 source (the per-group solo
// switches), 1 destination: 1.0 while no group is soloed (no value at or
// above 0.5), else 0.0.
class CAudioParamFilterBypassGroupSolo : public CAudioParamFilter {
public:
    void apply(std::span<const CAudioParam* const> src, std::span<CAudioParam* const> dst) const override;
    static double bypassValue(const CAudioParamStorage& solo);

protected:
    size_t requiredSrcCount() const override { return 1; }
    size_t requiredDstCount() const override { return 1; }
};

// audio:param-filter-bypass-os -- 2 sources (the oversampling choice: 0 Auto,
// 1 = 1X .. 4 = 8X, default 1; the host's oversampling mode, default 0), 1
// destination: the effective factor index is choice - 1, or the host mode
// when the choice is Auto; the destination is 1.0 when that index is 0 (no
// oversampling), else 0.0.
class CAudioParamFilterBypassOS : public CAudioParamFilter {
public:
    void apply(std::span<const CAudioParam* const> src, std::span<CAudioParam* const> dst) const override;
    static double bypassValue(double oversampling, double hostMode);

protected:
    size_t requiredSrcCount() const override { return 2; }
    size_t requiredDstCount() const override { return 1; }
};
