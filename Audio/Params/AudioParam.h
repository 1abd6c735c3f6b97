#pragma once
// CAudioParamStorage: the value matrix of one parameter, and CAudioParam, the
// runtime parameter that owns it.
//
// The matrix has G groups; group g has k(g) elements of element-size
// components. Numeric parameters hold 64-bit values; text and raw parameters
// hold item numbers of their CAudioParamData list. Reads follow the lookup
// rule (CAudioParamDef.h): what the matrix does not hold reads as the
// defaults.
//
// Threads: reading a value is a lock-free, allocation-free read meant for
// the audio thread. The storage has no lock of its own: changes reach the
// audio thread at chunk start, where they are applied with writeValue or
// copyValuesFrom, which never allocate while the shape fits. The main thread
// still reads the live values while the audio thread writes them (automation,
// applied changes, flags), so each numeric slot is read and written as a
// relaxed atomic: a reader sees a value whole, old or new, and a copy of the
// storage (state, presets, the protocol) is taken slot by slot. The shape
// itself changes only while the audio thread does not run. Every change
// of a value advances the change counter, which processors poll to know when
// to recompute what depends on the parameter.
//
// Stored parameter (all integers u32 little-endian; strings u32 byte length
// and UTF-8 bytes; numbers f64 little-endian):
//   string full name, u32 version (1), u32 esize, u32 dtype (0 numeric,
//   1 items), u32 G; dtype 1 only: u32 item count N and N items (u32 number,
//   u32 type, payload, see CAudioParamData.h); then G group blocks: u32 k and
//   k * esize values (f64 for dtype 0, u32 item number for dtype 1).

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Audio/Params/AudioParamData.h"
#include "Audio/Params/AudioParamDef.h"
#include "Core/Stream.h"

KELSTR(CAudioParamStorage_load_VersionError, "Unsupported data set version %1.");
KELSTR(CAudioParamStorage_load_FormatError,
       "Unsupported storage format (esize=%1, dtype=%2; should be: esize=%3, dtype=%4).");
KELSTR(CAudioParamStorage_load_CountError, "Invalid count %1 in stored parameter.");
KELSTR(CAudioParamStorage_load_ItemTypeError, "Unsupported data item type %1.");
KELSTR(CAudioParamStorage_parseDefValues_NoElements, "Not enough default elements at pos %1.");
KELSTR(CAudioParamStorage_parseDefValues_Error, "Default values parsing error.");

class CAudioParamCollector;

class CAudioParamStorage {
public:
    // Version of the stored-parameter format.
    static constexpr uint32_t kVersion = 1;
    // Bounds accepted when loading (against corrupt data).
    static constexpr uint32_t kMaxGroups = 256;
    static constexpr uint32_t kMaxValuesPerGroup = 1u << 16;

    // The info must outlive the storage.
    explicit CAudioParamStorage(const CAudioParamInfo* info = nullptr, uint32_t groupCount = 0);
    // Copies share the info of the original; assignment follows assign.
    CAudioParamStorage(const CAudioParamStorage& other);
    CAudioParamStorage& operator=(const CAudioParamStorage& other);

    // Shape G x defaults (G is 1 for single-group parameters; one element for
    // single-element ones), filled with the defaults.
    void reset(uint32_t groupCount);

    // Builds the default table of info from def-values: fields separated by
    // commas, element by element and component by component, each parsed with
    // its component's converter (clamped into the range); text and raw
    // parameters keep the fields as they stand.
    static CError parseDefValues(const CString& text, CAudioParamInfo* info);

    // --- Reads (lock-free, allocation-free) ------------------------------------
    double value(uint32_t g, uint32_t e, uint32_t c = 0) const noexcept {
        if (m_singleGroup) g = 0;
        if (m_singleElement) e = 0;
        if (g < m_elems.size() && e < m_elems[g] && c < m_esize) return loadSlot(m_values[m_start[g] + e * m_esize + c]);
        return m_info ? m_info->defaultValue(e, c) : 0.0;
    }
    // One slot, read or written as a relaxed atomic (see Threads above).
    static double loadSlot(const double& slot) noexcept {
        return std::atomic_ref<double>(const_cast<double&>(slot)).load(std::memory_order_relaxed);
    }
    static void storeSlot(double& slot, double v) noexcept {
        std::atomic_ref<double>(slot).store(v, std::memory_order_relaxed);
    }
    uint32_t groupCount() const noexcept { return uint32_t(m_elems.size()); }
    uint32_t elementCount(uint32_t g) const noexcept { return g < m_elems.size() ? m_elems[g] : 0; }
    uint32_t elementSize() const noexcept { return m_esize; }
    // True when the matrix holds at least one element of group g.
    bool holdsGroup(uint32_t g) const noexcept { return elementCount(g) > 0; }
    // The stored values of group g (k(g) * esize), contiguous; read them
    // with loadSlot where another thread may write.
    std::span<const double> groupValues(uint32_t g) const noexcept {
        return g < m_elems.size() ? std::span<const double>(m_values.data() + m_start[g], size_t(m_elems[g]) * m_esize)
                                  : std::span<const double>();
    }
    // Text of (g, e) for text parameters (the default text when not stored).
    CString text(uint32_t g, uint32_t e) const;
    // Bytes of (g, e) for raw parameters (empty when not stored).
    std::span<const uint8_t> raw(uint32_t g, uint32_t e) const;
    const CAudioParamData& data() const { return m_data; }
    const CAudioParamInfo* info() const { return m_info; }

    // --- Change counter ---------------------------------------------------------
    uint32_t changeCount() const noexcept { return m_changes.load(std::memory_order_acquire); }
    void markChanged() noexcept { m_changes.fetch_add(1, std::memory_order_acq_rel); }

    // --- Writes -------------------------------------------------------------------
    // Writes inside the current shape only; never allocates. False when (g, e)
    // is not held (single-group / single-element forcing applies).
    bool writeValue(uint32_t g, uint32_t e, uint32_t c, double v) noexcept;
    // Writes, growing the shape when needed (may allocate; new slots read as
    // before: defaults).
    void setValue(uint32_t g, uint32_t e, uint32_t c, double v);
    void setText(uint32_t g, uint32_t e, const CString& text);
    void setRaw(uint32_t g, uint32_t e, std::span<const uint8_t> bytes);
    // Ensures group g holds at least k elements (may allocate).
    void ensureElements(uint32_t g, uint32_t k);

    // True when both matrices have the same group count and element counts.
    bool sameShape(const CAudioParamStorage& other) const noexcept;
    // Copies all values of a numeric storage of the same shape without
    // allocating; false (nothing copied) when the shapes differ or the data
    // are items.
    bool copyValuesFrom(const CAudioParamStorage& other) noexcept;
    // Takes shape, values and items of other (may allocate). A storage bound
    // to an info keeps it and refuses (false) data of another element size
    // or kind.
    bool assign(const CAudioParamStorage& other);

    // --- Stored-parameter format --------------------------------------------------
    // Writes all groups (group < 0) or only group g as the single group.
    CError save(COutputStream& out, const CString& fullName, int group = -1) const;
    // Replaces the values with a stored parameter (all groups when group < 0,
    // else its first group block goes to group g). On failure nothing changes.
    CError load(CInputStream& in, CString* fullName = nullptr, int group = -1);

private:
    void configureFrom(const CAudioParamInfo* info);
    uint32_t dtypeCode() const { return m_items ? 1u : 0u; }
    // Reads by the lookup rule without forcing (used when growing).
    double lookupRaw(uint32_t g, uint32_t e, uint32_t c);
    // Drops items no component refers to.
    void compactItems();
    uint32_t itemAt(uint32_t g, uint32_t e) const;
    void rebuildStarts();

    const CAudioParamInfo* m_info = nullptr;
    uint32_t m_esize = 1;
    bool m_items = false;
    bool m_singleGroup = false;
    bool m_singleElement = false;
    std::vector<uint32_t, CKelStdAllocator<uint32_t>> m_elems;  // k(g)
    std::vector<uint32_t, CKelStdAllocator<uint32_t>> m_start;  // first value index of group g
    std::vector<double, CKelStdAllocator<double>> m_values;
    CAudioParamData m_data;
    std::atomic<uint32_t> m_changes{0};
};

// The runtime parameter: its full dotted name, its own copy of the info
// (state names may differ per instance) and its storage.
class CAudioParam : public CKelAllocated {
public:
    // Creates the runtime parameter of a parsed definition with groupCount
    // groups of default values (one group for single-group parameters).
    static std::unique_ptr<CAudioParam> create(const CAudioParamDef& def, const CString& fullName,
                                               uint32_t groupCount = 1);

    CAudioParam(const CAudioParamInfo& info, const CString& fullName, uint32_t groupCount,
                const CAudioParamDef* def = nullptr);
    ~CAudioParam();
    CAudioParam(const CAudioParam&) = delete;
    CAudioParam& operator=(const CAudioParam&) = delete;

    const CString& fullName() const { return m_fullName; }
    // The last part of the full name.
    CString name() const;
    const CAudioParamDef* def() const { return m_def; }
    const CAudioParamInfo& info() const { return m_info; }
    CAudioParamInfo& info() { return m_info; }
    CAudioParamStorage& storage() { return m_storage; }
    const CAudioParamStorage& storage() const { return m_storage; }

    // The audio thread's read (lookup rule).
    double value(uint32_t g, uint32_t e, uint32_t c = 0) const noexcept { return m_storage.value(g, e, c); }
    uint32_t changeCount() const noexcept { return m_storage.changeCount(); }

    // Through the converter of component c.
    double normalized(uint32_t g, uint32_t e, uint32_t c = 0) const { return m_info.normalize(c, value(g, e, c)); }
    CString valueText(uint32_t g, uint32_t e, uint32_t c = 0,
                      int kind = CAudioParamConverter::kFormatNormal) const;

    // The collector this parameter is registered with (nullptr: none).
    CAudioParamCollector* collector() const { return m_collector; }

private:
    friend class CAudioParamCollector;

    CString m_fullName;
    const CAudioParamDef* m_def = nullptr;
    CAudioParamInfo m_info;
    CAudioParamStorage m_storage;
    CAudioParamCollector* m_collector = nullptr;
};
