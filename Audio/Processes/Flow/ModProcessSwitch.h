#pragma once
// CModProcessSwitch (audio:modProcessSwitch): exactly one of its listed
// children processes at a time, chosen by the rounded "index" parameter
// through the process list ("0:.modClip;1:.modAIGC1;..."; an index without
// an entry selects "def-index"). A change of child cross-fades the outputs of
// the old and the new child over the switch's "xfade-length" (raised cosine).
// Parameters addressed through the alias "def-child-name"
// ("modSwitch.mod.attack") reach whichever child is active; the active
// child's ports are the switch's ports.

#include <vector>

#include "Audio/Graph/ProcessTerminal.h"

KELSTR(CModProcessSwitchDef_init_NoIndex, "No index delimiter ':' found in item #%1.");
KELSTR(CModProcessSwitchDef_init_IndexError, "Invalid index value '%1' in item #%2.");
KELSTR(CModProcessSwitchDef_init_IndexDupeError, "Duplicate index value '%1' used in item #%2.");

class CModProcessSwitchDef : public CAudioProcessDefBaseInit {
public:
    struct Item {
        int index;
        const CAudioProcessDefBase* def;
    };
    CError init() override;
    CError initLinks() override;
    std::unique_ptr<CAudioProcessBase> createProcess() const override;

    const std::vector<Item>& items() const { return m_items; }
    const CString& defChildName() const { return m_defChildName; }
    int defIndex() const { return m_defIndex; }
    bool isAllpassBank() const { return m_allpassBank; }

private:
    std::vector<std::pair<int, CString>> m_paths;
    std::vector<Item> m_items;
    CString m_defChildName;
    int m_defIndex = 0;
    bool m_allpassBank = false;
};

class CModProcessSwitch : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override;
    bool update() override;
    void setRate(double sampleRate) override;
    void setChannels(int channels) override;
    void process(int frames) override;
    void reset() override;

    double latency() const override;
    double maxLatencySeconds() const override;
    int outputPortCount() const override { return m_outPorts; }
    const double* outputChannel(int port, int ch) const override;
    CString childAliasPrefix(const CAudioProcessBase& child) const override;

    // The child processing now (nullptr when none is listed).
    CAudioProcessBase* activeChild() const { return m_active; }
    CAudioProcessBase* child(const CString& name) const;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;

private:
    struct Entry {
        int index;
        CAudioProcessBase* process;
    };
    CAudioProcessBase* select(int index) const;
    void feed(CAudioProcessBase* c, int frames);

    std::vector<Entry> m_entries;
    CAudioProcessBase* m_default = nullptr;
    CAudioProcessBase* m_active = nullptr;
    CAudioProcessBase* m_fading = nullptr;  // the child faded out
    int m_fadePos = 0, m_fadeLength = 1;
    bool m_mixed = false;  // the last block's output is in m_out
    bool m_playing = false;  // audio passed since prepare or reset: changes fade
    int m_outPorts = 1;
    std::vector<double> m_fadeCurve;
};
