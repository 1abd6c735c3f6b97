#include "Audio/Params/AudioParamSharedStorage.h"

#include <algorithm>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamRemap.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"

// --- One binding --------------------------------------------------------------------------------

CAudioParamSharedBinding::CAudioParamSharedBinding(CAudioParamCollector& collector, CAudioParam& param,
                                                   CAppData& store, const CString& dataName)
    : m_collector(collector), m_param(param), m_store(store), m_dataName(dataName) {
    m_collector.addListener(&m_param, this);
    m_store.addListener(this);
}

CAudioParamSharedBinding::~CAudioParamSharedBinding() {
    m_store.removeListener(this);
    m_collector.removeListener(this);
}

uint32_t CAudioParamSharedBinding::blockId() const {
    return m_param.info().dataType() == EAudioParamDataType::Raw ? kIdAdat : kIdDstr;
}

std::vector<uint8_t> CAudioParamSharedBinding::encode() const {
    CMemoryWriter w;
    switch (m_param.info().dataType()) {
        case EAudioParamDataType::Raw: {
            std::span<const uint8_t> bytes = m_param.storage().raw(0, 0);
            (void)w.write(bytes.data(), bytes.size());
            break;
        }
        case EAudioParamDataType::Text:
            (void)w.writeString(m_param.storage().text(0, 0));
            break;
        case EAudioParamDataType::Numeric: {
            const CAudioParamStorage values = kelMainParamSnapshot(m_param);
            CString text;
            const uint32_t elements = std::max<uint32_t>(values.elementCount(0), 1);
            for (uint32_t e = 0; e < elements; ++e)
                for (uint32_t c = 0; c < values.elementSize(); ++c) {
                    if (!text.empty()) text += u',';
                    text += CString::number(values.value(0, e, c));
                }
            (void)w.writeString(text);
            break;
        }
    }
    return w.take();
}

CError CAudioParamSharedBinding::pull() {
    std::vector<uint8_t> data;
    bool found = false;
    KEL_TRY(m_store.readData(m_dataName, blockId(), &data, &found));
    if (!found || data == m_last) return {};
    m_last = data;
    CAudioParamStorage values(m_param.storage());
    CMemoryReader in(data.data(), data.size());
    switch (m_param.info().dataType()) {
        case EAudioParamDataType::Raw:
            values.setRaw(0, 0, data);
            break;
        case EAudioParamDataType::Text: {
            CString text;
            KEL_TRY(in.readString(&text));
            values.setText(0, 0, text);
            break;
        }
        case EAudioParamDataType::Numeric: {
            CString text;
            KEL_TRY(in.readString(&text));
            values = kelMainParamSnapshot(m_param);
            const std::vector<CString> fields = splitString(text, u',');
            const uint32_t esize = values.elementSize();
            for (size_t i = 0; i < fields.size(); ++i) {
                double v = 0.0;
                if (fields[i].trimmed().toDouble(&v)) values.writeValue(0, uint32_t(i / esize), uint32_t(i % esize), v);
            }
            break;
        }
    }
    CAudioParamWrites writes;
    writes.assign(m_param, values);
    m_applying = true;
    for (CAudioParam* p : writes.commit()) m_collector.notifyChanged(*p);
    m_applying = false;
    return {};
}

CError CAudioParamSharedBinding::push() {
    std::vector<uint8_t> data = encode();
    if (data == m_last) return {};
    KEL_TRY(m_store.writeData(m_dataName, blockId(), data, this));
    m_last = std::move(data);
    return {};
}

void CAudioParamSharedBinding::paramChanged(CAudioParam&) {
    if (m_applying) return;
    if (CError e = push()) kelLogError(e);
}

void CAudioParamSharedBinding::appDataChanged(CAppData& store, const CString& itemName) {
    if (&store != &m_store || !(itemName == m_dataName)) return;
    if (CError e = pull()) kelLogError(e);
}

// --- The definition -----------------------------------------------------------------------------

CError CAudioParamSharedStorage::init() {
    KEL_TRY(CObject::init());
    m_paramName = attr("param").trimmed();
    if (m_paramName.empty()) return KEL_ERROR(kelstr_CAudioParamSharedStorage_init_InvalidParamName);
    m_dataName = attr("data-name").trimmed();
    if (m_dataName.empty()) return KEL_ERROR(kelstr_CAudioParamSharedStorage_init_InvalidDataName);
    const CString type = attr("storage-type");
    m_store = CAppData::byStorageType(type.trimmed());
    if (!m_store) return KEL_ERROR(kelstr_CAudioParamSharedStorage_init_InvalidStorageType, type);
    return {};
}

CError CAudioParamSharedStorage::createBinding(CAudioParamCollector& collector, const CString& scopeFullName,
                                               std::unique_ptr<CAudioParamSharedBinding>* out) const {
    const CString full = CAudioParamRemapDef::resolveName(scopeFullName, m_paramName);
    CAudioParam* p = collector.findParam(full);
    if (!p) return KEL_ERROR(kelstr_CAudioParamSharedStorage_bind_NotFound, full);
    auto binding = std::make_unique<CAudioParamSharedBinding>(collector, *p, *m_store, m_dataName);
    KEL_TRY(binding->pull());
    *out = std::move(binding);
    return {};
}

CError CAudioParamSharedStorage::bindParams() {
    m_binding.reset();
    CAudioParamCollector* collector = nullptr;
    const CString path = attr("param-collector").trimmed();
    if (!path.empty()) {
        KEL_TRY(findObjectByAttr<CAudioParamCollector>("param-collector", &collector));
    } else {
        for (CObject* level = parent(); level && !collector; level = level->parent())
            collector = dynamic_cast<CAudioParamCollector*>(level->findChild("param-collector"));
    }
    if (!collector || !m_store) return {};
    return createBinding(*collector, parent() ? parent()->fullName() : CString(), &m_binding);
}

CError CAudioParamSharedStorage::bindAll(const CObject& defRoot, const CString& runtimeFullName,
                                         CAudioParamCollector& collector,
                                         std::vector<std::unique_ptr<CAudioParamSharedBinding>>* out) {
    for (const auto& child : defRoot.children()) {
        if (auto* s = dynamic_cast<const CAudioParamSharedStorage*>(child.get())) {
            std::unique_ptr<CAudioParamSharedBinding> b;
            KEL_TRY(s->createBinding(collector, runtimeFullName, &b));
            out->push_back(std::move(b));
        } else if (child->childCount()) {
            // Unnamed groups keep their parent's scope.
            const CString scope =
                child->name().empty() ? runtimeFullName : runtimeFullName + CString(".") + child->name();
            KEL_TRY(bindAll(*child, scope, collector, out));
        }
    }
    return {};
}
