#pragma once
// CParamBridge (tag "ui:param-bridge"): names one plug-in parameter and
// relays its values between the editor and the audio side. It listens to
// the parameter through the protocol client ("interface-client", default
// "ui.interface-client"; "param", the parameter's full name such as
// "plugin.modMain.modTamblor.ingain") and keeps the values it last received
// or sent, so that every control shows a change at once, before the audio
// side echoes it.
//
// Whenever values arrive (or the editor changed them) it notifies
// "param-change" with "group", "element-offset", "element-count" and
// "is-replacing" ("true" when the whole matrix was replaced); "param-ready"
// once the parameter's information is known. The attribute "value" holds
// the value of group 0, element 0 (what state switches test).
//
// Threads: the UI thread only.

#include <memory>

#include "Audio/Interface/ParamInterfaceClient.h"
#include "Core/Object.h"

KELSTR(CParamBridge_init_NoParam, "Parameter bridge without a parameter name.");
KELSTR(CParamBridge_setValue_NotReady, "Parameter '%1' is not known yet.");

class CParamBridge : public CObject {
public:
    CParamBridge();
    ~CParamBridge() override;
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;

    // --- What is known ------------------------------------------------------------
    bool isReady() const { return m_values && m_info; }
    const CString& paramName() const { return m_paramName; }
    const CAudioParamInfo* info() const { return m_info; }
    CParamInterfaceClient* client() const { return m_client; }
    uint32_t paramId() const { return m_id; }
    uint32_t groupCount() const;
    uint32_t elementCount(uint32_t group) const;
    // Numeric parameter whose values move in steps (state names or a
    // discrete converter).
    bool isDiscrete() const;

    // --- Values (component 0 unless told) -----------------------------------------
    double value(uint32_t g, uint32_t e, uint32_t c = 0) const;
    double normalized(uint32_t g, uint32_t e, uint32_t c = 0) const;
    double defaultNormalized(uint32_t e, uint32_t c = 0) const;
    CString text(uint32_t g, uint32_t e, int kind = 0) const;
    // The value a text means (clamped into the range); false when it means none.
    bool parseText(const CString& text, double* value) const;
    // The normalised distance of one step at a normalised position (discrete
    // parameters: from the value to the next one up or down).
    double stepNormalized(uint32_t g, uint32_t e, int direction) const;

    // --- Changes (sent through the protocol; the local copy follows at once) -----
    // Several elements of one group at once: pairs of element and normalised
    // position (clamped to 0..1).
    struct Edit {
        uint32_t element;
        double position;
    };
    CError setNormalized(uint32_t g, std::span<const Edit> edits);
    CError setNormalized(uint32_t g, uint32_t e, double position) {
        const Edit one{e, position};
        return setNormalized(g, std::span<const Edit>(&one, 1));
    }
    CError setValue(uint32_t g, uint32_t e, double value);
    // An element of a text parameter (names, labels).
    CError setText(uint32_t g, uint32_t e, const CString& text);
    // The bytes of a raw parameter's element (empty when none are stored),
    // and a change of them.
    std::span<const uint8_t> raw(uint32_t g, uint32_t e) const;
    CError setRaw(uint32_t g, uint32_t e, std::span<const uint8_t> bytes);
    // Brackets a gesture into one undo entry of the audio side's history.
    CError beginGesture(const CString& undoText, int group);
    CError endGesture();
    bool inGesture() const { return m_undoId != 0; }

private:
    CError onClientUpdate(CEventParams& p, bool info);
    CError send(uint32_t g);
    void notifyChange(int group, uint32_t first, uint32_t count, bool replacing);

    CParamInterfaceClient* m_client = nullptr;
    CString m_paramName;
    uint32_t m_id = 0;
    const CAudioParamInfo* m_info = nullptr;  // the client's mirror
    std::unique_ptr<CAudioParamStorage> m_values;
    uint32_t m_undoId = 0;
};
