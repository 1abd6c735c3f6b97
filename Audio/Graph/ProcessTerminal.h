#pragma once
// Leaf modules of the graph. A module kind X is three classes: its definition
// (`CModXDef`, created from the tag "audio:modX", which creates the module),
// the runtime module (`CModXModule`, a CAudioProcessTerminalBase) and the
// per-channel processor (`CModX`). The module binds its parameter slots when
// built (slot index -> the audio:param-alloc child of the definition with
// that index, or the slot's own name, resolved through the remaps of the
// enclosing containers), reads them on the audio thread at chunk start, and
// hands the values to its processors when any of them changed.
//
// Threads: build/prepare on the main thread (allocation allowed);
// update/setRate/process/reset on the audio thread (never allocate).

#include <cstdint>
#include <vector>

#include "Audio/Graph/ProcessBase.h"
#include "Audio/Graph/ProcessDef.h"

class CAudioParam;
class CAudioEnv;

// Common part of the per-channel processors: a running instance number.
class CModProcessorBase {
public:
    virtual ~CModProcessorBase() = default;
    // Stores the next instance number of the process-wide counter (31 bits).
    void start();
    bool started() const { return m_started; }
    uint32_t instanceNumber() const { return m_instance; }

private:
    uint32_t m_instance = 0;
    bool m_started = false;
};

class CAudioProcessTerminalBase : public CAudioProcessBase {
public:
    CError build(const CAudioProcessDefBase& def, CAudioProcessBuild& b) override;

    bool update() override;
    void setRate(double sampleRate) override;

    double xfadeLength() const { return m_xfadeLength; }
    // The definition's "xfade-length", or the default cross-fade when it sets none.
    double xfadeSeconds() const { return m_xfadeLength > 0.0 ? m_xfadeLength : audio::kDefaultCrossfadeSeconds; }
    bool isSmoothUpdate() const { return m_def && m_def->isSmoothUpdate(); }
    CAudioEnv* env() const { return m_env; }

protected:
    // Module set-up at build time: read attributes, register parameter slots.
    virtual CError moduleSetup(CAudioProcessBuild& b) {
        (void)b;
        return {};
    }
    // Called on the audio thread when a slot value or the rate changed (and
    // once before the first block): recompute processor settings.
    virtual void updateParams() {}

    // Registers slot `index` under its table name with a fallback value.
    void registerParam(CAudioProcessBuild& b, int index, const char* name, double fallback);
    // Value of a slot for this module's group at an element (fallback when unbound).
    double param(int index, int element = 0) const;
    bool paramBound(int index) const;
    // Value of a slot for another channel group.
    double paramForGroup(int index, int group, int element = 0) const;

private:
    struct Slot {
        CAudioParam* param = nullptr;
        double fallback = 0.0;
        uint32_t seen = 0;
    };
    std::vector<Slot> m_slots;
    double m_xfadeLength = 0.0;
    CAudioEnv* m_env = nullptr;
    bool m_needUpdate = true;
};

// Definition template: each module kind's definition creates its module.
template <class Module>
class CModDefT : public CAudioProcessDefBaseInit {
public:
    std::unique_ptr<CAudioProcessBase> createProcess() const override { return std::make_unique<Module>(); }
};
