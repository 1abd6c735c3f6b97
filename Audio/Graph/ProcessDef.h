#pragma once
// Process definitions: the declarative form of the audio graph in the shared
// definition document. A container definition (audio:process-def) holds child
// process definitions, links, bypass states and link states; module
// definitions (audio:mod<Name>) create runtime modules. Definitions are
// immutable after init and shared by every plug-in instance.
//
// Threads: built and initialised on the thread that loads the definitions.

#include <memory>
#include <vector>

#include "Core/Object.h"

class CAudioProcessBase;

KELSTR(CAudioProcessDefBase_init_InvalidStackIndexShift, "Invalid stack index shift value '%1' specified.");
KELSTR(CAudioProcessLinkDef_init_NoSrc, "No 'src' attribute defined.");
KELSTR(CAudioProcessLinkDef_init_NoDst, "No 'dst' attribute defined.");
KELSTR(CAudioProcessLinkDef_init_SrcPortError, "Invalid port in the 'src' attribute value '%1' specified.");
KELSTR(CAudioProcessLinkDef_init_SrcNameError, "Invalid process in the 'src' attribute value '%1' specified.");
KELSTR(CAudioProcessLinkDef_init_DstPortError, "Invalid port in the 'dst' attribute value '%1' specified.");
KELSTR(CAudioProcessLinkDef_init_DstNameError, "Invalid process in the 'dst' attribute value '%1' specified.");
KELSTR(CAudioProcessLinkDef_init_StateError, "Invalid state identifier '%1' specified.");
KELSTR(CAudioProcessBypassStateDef_init_InvalidParam, "Invalid parameter name specified.");
KELSTR(CAudioProcessBypassStateDef_init_InvalidRange, "Invalid 'range' attribute value '%1' specified.");
KELSTR(CAudioProcessBypassStateDef_init_InvalidAndRange, "Invalid 'and-range' attribute value '%1' specified.");
KELSTR(CAudioProcessMB_init_NoMBFreqParamDefined, "No 'multiband-freq-param' attribute defined.");
KELSTR(CAudioProcessMB_init_NoMBCountParamDefined, "No 'multiband-count-param' attribute defined.");

// An interval with inclusive/exclusive bounds and a step:
// "[lo;hi]", "(lo;hi)", "[lo;hi;step]"; "*" is unbounded.
class CAudioRange {
public:
    // Parses the text; false when it is not a valid range.
    bool parse(const CString& text);
    bool contains(double v) const;

private:
    static int64_t quantise(double v, double step);
    bool m_loIncl = true, m_hiIncl = true, m_loInf = true, m_hiInf = true;
    double m_lo = 0, m_hi = 0, m_step = 0.01;
};

// Common attributes of every process definition.
class CAudioProcessDefBase : public CObject {
public:
    CError init() override;

    // Creates the runtime process for this definition (modules: the module;
    // containers: a container). Stacking and multiband wrapping are decided by
    // the caller from the flags below.
    virtual std::unique_ptr<CAudioProcessBase> createProcess() const = 0;
    // True for containers (audio:process-def).
    virtual bool isContainer() const { return false; }

    bool isStacked() const { return m_isStacked; }
    bool isSmoothUpdate() const { return m_isSmoothUpdate; }
    int stackIndexShift() const { return m_stackIndexShift; }
    bool isMultiband() const { return m_isMultiband; }
    bool isTerminalWhole() const { return m_isTerminalWhole; }
    bool isChannelStack() const { return m_isChannelStack; }
    bool isPrototype() const { return m_isPrototype; }
    bool isOutOfOrder() const { return m_isOutOfOrder; }
    int bypassStateId() const { return m_bypassStateId; }
    bool isCompInput() const { return m_isCompInput; }
    // 0 default combination (sum), 1 average, 2 maximum.
    int inputComboMode() const { return m_inputComboMode; }
    double xfadeLength() const { return m_xfadeLength; }

private:
    bool m_isStacked = false, m_isSmoothUpdate = false, m_isMultiband = false, m_isTerminalWhole = false;
    bool m_isChannelStack = false, m_isPrototype = false, m_isOutOfOrder = false, m_isCompInput = false;
    int m_stackIndexShift = 0, m_bypassStateId = -1, m_inputComboMode = 0;
    double m_xfadeLength = 0.0;
};

// Base of module definitions: the second initialisation stage after the
// module's children (parameters, parameter slots) exist.
class CAudioProcessDefBaseInit : public CAudioProcessDefBase {
public:
    CError initLinks() override;
};

// One connection between two children (or the container's own ports).
class CAudioProcessLinkDef : public CObject {
public:
    CError init() override;

    // Parses "name" or "name/port"; false on a bad port.
    static bool parseEnd(const CString& text, CString* name, int* port);
    // Parses a list of ids separated by blanks; bad or negative entries are skipped.
    static std::vector<int> parseIdList(const CString& text);

    const CString& srcName() const { return m_src; }  // "*" = container input
    const CString& dstName() const { return m_dst; }  // "*" = container output
    int srcPort() const { return m_srcPort; }
    int dstPort() const { return m_dstPort; }
    int stateId() const { return m_stateId; }
    const std::vector<int>& bypassStateIds() const { return m_bypassIds; }

private:
    CString m_src, m_dst;
    int m_srcPort = 0, m_dstPort = 0, m_stateId = -1;
    std::vector<int> m_bypassIds;
};

// A condition on one or two parameters that bypasses children and links.
class CAudioProcessBypassStateDef : public CObject {
public:
    CError init() override;

    int id() const { return m_id; }
    const CString& param() const { return m_param; }
    const CString& andParam() const { return m_andParam; }
    bool hasAndParam() const { return !m_andParam.empty(); }
    // The state for the parameter values p (and q when there is an and-param).
    bool evaluate(double p, double q) const;

private:
    int m_id = 0;
    CString m_param, m_andParam;
    double m_value = 1.0, m_andValue = 1.0;
    bool m_hasRange = false, m_hasAndRange = false, m_inverted = false;
    CAudioRange m_range, m_andRange;
};

// Link-state children are filed separately; no behaviour of their own.
class CAudioProcessLinkStateDef : public CObject {};

// Container definition: files its children into four lists.
class CAudioProcessDef : public CAudioProcessDefBase {
public:
    CError init() override;
    std::unique_ptr<CAudioProcessBase> createProcess() const override;
    bool isContainer() const override { return true; }

    bool isAutoLinks() const { return m_autoLinks; }
    const std::vector<CAudioProcessDefBase*>& processes() const { return m_processes; }
    const std::vector<CAudioProcessLinkDef*>& links() const { return m_links; }
    const std::vector<CAudioProcessLinkStateDef*>& linkStates() const { return m_linkStates; }
    const std::vector<CAudioProcessBypassStateDef*>& bypassStates() const { return m_bypassStates; }
    const CAudioProcessDefBase* findProcess(const CString& name) const;

private:
    bool m_autoLinks = true;
    std::vector<CAudioProcessDefBase*> m_processes;
    std::vector<CAudioProcessLinkDef*> m_links;
    std::vector<CAudioProcessLinkStateDef*> m_linkStates;
    std::vector<CAudioProcessBypassStateDef*> m_bypassStates;
};
