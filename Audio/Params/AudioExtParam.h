#pragma once
// Host parameters: the short, fixed list of internal parameter values that
// the host sees as automatable parameters.
//
// CAudioExtParamList (tag audio:ext-param-list) holds CAudioExtParam entries
// (tag audio:ext-param) as children; the host index of an entry is its place
// in the list. Each entry binds one value (group, element, component 0) of
// an internal parameter under a short host name:
//   ext-name         host name, 1 to 7 characters
//   param-name       full name of the internal parameter
//   group            channel group of the bound value (default 0)
//   element-index    element of the bound value (default 0)
//   param-collector  the collector that resolves param-name (default: the
//                    list's param-collector attribute, else "^^param-collector")
// An entry whose parameter does not exist stays unbound; it keeps its index.
// Names resolve when the parameters are bound (Audio/AudioParamBinding.h),
// and again on use while the collector has gained parameters since.
//
// CAudioExtParamHostBridge (owned by the list) is what the plug-in core
// calls for the host: names, units, step counts, defaults, normalized values,
// display texts and text parsing through the parameter's converter, and the
// reverse lookup from a parameter value to its host index.
//
// Threads: everything runs on the main thread except writeFromAudio, which
// the core calls on the audio thread for automation inside a block (a
// non-allocating write of the value). Main-thread values go through the
// collector's change queue (Audio/AudioParamChangeSet.h).

#include <vector>

#include "Audio/Params/AudioParamBinding.h"
#include "Core/Object.h"

KELSTR(CAudioExtParam_attrExtName_LongName, "Externalized parameter name '%1' is too long");

class CAudioParam;
class CAudioParamCollector;
class CAudioExtParamHostBridge;

class CAudioExtParam : public CObject, public CAudioParamBindable {
public:
    static constexpr size_t kMaxNameLength = 7;

    CError init() override;       // ext-name, group, element-index
    CError initLinks() override;  // the collector; registers with the list's bridge
    CError bindParams() override;
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

    const CString& extName() const { return m_extName; }
    const CString& paramName() const { return m_paramName; }
    uint32_t group() const { return m_group; }
    uint32_t element() const { return m_element; }
    // The bound numeric parameter, or nullptr.
    CAudioParam* param();
    bool isBound() { return param() != nullptr; }

    // Conversions through the parameter's converter and range (component 0).
    double normalized();                      // the main-thread value
    void setNormalized(double normalized);    // main thread; listeners are informed
    double plainValue(double normalized);     // normalized -> stored value
    double defaultNormalized();
    CString text(double normalized);
    bool fromText(const CString& text, double* normalized);
    int stepCount();
    CString units();
    // Audio thread: writes the value for a normalized position (no allocation).
    bool writeFromAudio(double normalized) noexcept;

private:
    CString m_extName;
    CString m_paramName;
    uint32_t m_group = 0;
    uint32_t m_element = 0;
    CAudioParamCollector* m_collector = nullptr;
    CAudioParam* m_param = nullptr;
    size_t m_triedAtCount = size_t(-1);  // collector size at the last failed lookup
};

class CAudioExtParamHostBridge {
public:
    void add(CAudioExtParam* entry);
    void remove(CAudioExtParam* entry);

    int count() const { return int(m_entries.size()); }
    CAudioExtParam* entry(int index) const;

    CString name(int index) const;
    CString units(int index) const;
    bool isBound(int index) const;
    int stepCount(int index) const;
    double defaultNormalized(int index) const;
    double normalized(int index) const;
    void setNormalized(int index, double normalized) const;
    CString text(int index, double normalized) const;
    // False (and *normalized untouched) when the text does not parse.
    bool fromText(int index, const CString& text, double* normalized) const;
    bool writeFromAudio(int index, double normalized) const noexcept;
    // Host index of the entry bound to (param, group, element), or -1.
    int indexOf(const CAudioParam* param, uint32_t group, uint32_t element) const;
    // Host indices of every entry bound to param.
    std::vector<int> indicesOf(const CAudioParam* param) const;

private:
    std::vector<CAudioExtParam*> m_entries;
};

class CAudioExtParamList : public CObject {
public:
    ~CAudioExtParamList() override;
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

    CAudioExtParamHostBridge& hostBridge() { return m_bridge; }
    const CAudioExtParamHostBridge& hostBridge() const { return m_bridge; }

private:
    CAudioExtParamHostBridge m_bridge;
};
