#include "Audio/Params/AudioCCTable.h"

#include "Audio/Params/AudioParamCollector.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"

CAudioCCTable::CAudioCCTable() = default;

CAudioCCTable::~CAudioCCTable() {
    if (m_listening && m_store) m_store->removeListener(this);
}

CError CAudioCCTable::init() {
    KEL_TRY(CObject::init());
    const CString type = attr("storage-type").trimmed();
    m_store = CAppData::byStorageType(type.empty() ? CString("local") : type);
    if (!m_store) return KEL_ERROR(kelstr_CAudioCCTable_init_InvalidStorageType, type);
    m_dataName = attr("data-name").trimmed();
    if (m_dataName.empty()) m_dataName = "ccmap";
    return {};
}

CError CAudioCCTable::initLinks() {
    KEL_TRY(CObject::initLinks());
    const CString path = attr("param-collector").trimmed();
    m_collector = dynamic_cast<CAudioParamCollector*>(findObject(path.empty() ? CString("^param-collector") : path));
    return {};
}

CError CAudioCCTable::initDone() {
    KEL_TRY(CObject::initDone());
    if (!m_listening) {
        m_store->addListener(this);
        m_listening = true;
    }
    // A damaged item leaves what could be read; the instance still starts.
    if (CError e = load()) kelLogError(e);
    return {};
}

CAudioParam* CAudioCCTable::resolve(const CString& name) const {
    return m_collector && !name.empty() ? m_collector->findParam(name) : nullptr;
}

CError CAudioCCTable::load() {
    std::vector<uint8_t> data;
    bool found = false;
    CError readError = m_store->readData(m_dataName, kIdAdat, &data, &found);
    plat::CLock lock(m_lock);
    for (Slot& s : m_slots) s = Slot();
    if (readError) return KEL_PASS(readError);
    if (!found) return {};
    CMemoryReader in(data.data(), data.size());
    uint32_t count = 0;
    CError e = in.readU32(&count);
    for (uint32_t i = 0; !e && i < count; ++i) {
        uint32_t controller = 0;
        CString name;
        if ((e = in.readU32(&controller))) break;
        if ((e = in.readString(&name))) break;
        if (controller >= uint32_t(kSlots)) continue;
        m_slots[controller] = {name, resolve(name)};
    }
    // The entries read before a damaged one stay.
    if (e) return KEL_PASS(e);
    return {};
}

CError CAudioCCTable::save() {
    CMemoryWriter w;
    {
        plat::CLock lock(m_lock);
        uint32_t count = 0;
        for (const Slot& s : m_slots) count += s.name.empty() ? 0 : 1;
        KEL_TRY(w.writeU32(count));
        for (int c = 0; c < kSlots; ++c) {
            if (m_slots[size_t(c)].name.empty()) continue;
            KEL_TRY(w.writeU32(uint32_t(c)));
            KEL_TRY(w.writeString(m_slots[size_t(c)].name));
        }
    }
    return m_store->writeData(m_dataName, kIdAdat, w.bytes(), this);
}

CError CAudioCCTable::bindParams() {
    plat::CLock lock(m_lock);
    for (Slot& s : m_slots) s.param = resolve(s.name);
    return {};
}

CAudioParam* CAudioCCTable::param(int controller) {
    if (controller < 0 || controller >= kSlots) return nullptr;
    plat::CLock lock(m_lock);
    Slot& s = m_slots[size_t(controller)];
    if (!s.param && !s.name.empty()) s.param = resolve(s.name);
    return s.param;
}

CString CAudioCCTable::paramName(int controller) {
    if (controller < 0 || controller >= kSlots) return {};
    plat::CLock lock(m_lock);
    return m_slots[size_t(controller)].name;
}

void CAudioCCTable::setController(int controller, const CString& paramName) {
    if (controller < 0 || controller >= kSlots) return;
    plat::CLock lock(m_lock);
    m_slots[size_t(controller)] = {paramName, resolve(paramName)};
}

int CAudioCCTable::assignedCount() {
    plat::CLock lock(m_lock);
    int n = 0;
    for (const Slot& s : m_slots) n += s.name.empty() ? 0 : 1;
    return n;
}

void CAudioCCTable::appDataChanged(CAppData& store, const CString& itemName) {
    if (&store != m_store || !(itemName == m_dataName)) return;
    if (CError e = load()) kelLogError(e);
}
