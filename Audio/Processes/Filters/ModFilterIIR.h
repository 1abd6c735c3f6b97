#pragma once
// The IIR filter module (audio:modFilterIIR), which runs the DC filter.
//
// CModFilterIIR: the processor of one channel. It runs the sections that the
// selected entry of a generator array produces in series (transposed direct
// form II, two 64-bit states per section). The sections are regenerated when
// index, freq, gain, bw or the sample rate change; a change of the section
// count clears the states, otherwise they carry over.
//
// With smoothing (the module's "is-smooth-update"), a parameter change
// cross-fades: the old sections keep running on their own states beside the
// new ones, and the output moves from the old to the new filter with a
// raised-cosine weight over the fade length. A change during a fade waits
// until it has ended (the latest one wins). Rate changes take effect at once.
//
// CModFilterIIRModule: slots 0 "index", 1 "freq" (Hz), 2 "gain" (linear),
// 3 "bw" (bandwidth or Q), read for the module's group (one design for all
// of its channels); attribute "gen-array" names the generator array;
// "is-smooth-update" cross-fades over "xfade-length" (15 ms when 0).

#include <memory>
#include <span>
#include <vector>

#include "Audio/Filters/AudioFilterGen.h"
#include "Audio/Filters/FilterDesign.h"
#include "Audio/Graph/ProcessTerminal.h"

KELSTR(CModFilterIIR_init_GenArrayNotFound, "The 'gen-array' '%1' not found.");

class CModFilterIIR : public CModProcessorBase {
public:
    // Module parameters in index order.
    struct Params {
        int index = 0;        // which array entry
        double freq = 1000.0; // Hz
        double gain = 1.0;    // linear
        double bw = 1.0;      // bandwidth or Q, as the generator reads it
        bool operator==(const Params&) const = default;
    };

    CModFilterIIR() { start(); }

    // The designs as a table (not owned; it must outlive the processor).
    // Checked here, so that regeneration while processing cannot fail.
    CError setGenArray(std::span<const CFilterArrayItem> array);
    // The designs as generator objects (not owned).
    void setGenArray(const CAudioFilterGenArray* array);

    // Reserves the section lists and states for the largest array entry and
    // the cross-fade buffer for blocks of maxBlock.
    void prepare(double sampleRate, int maxBlock);
    // Changes the rate after prepare (regenerates; never allocates).
    void setSampleRate(double sampleRate);
    // Cross-fade length of parameter changes in samples (0: at once).
    void setSmoothing(int fadeSamples) { m_fadeLength = fadeSamples > 0 ? fadeSamples : 0; }
    void setParams(const Params& p);
    void reset();

    // in may equal out.
    void process(const double* in, double* out, int frames);

    std::span<const CFilterSection> sections() const { return m_sections; }
    bool changing() const { return m_fadePos < m_fadeRun; }

private:
    void regenerate();
    void mixBlock(const double* in, double* out, int frames);

    std::span<const CFilterArrayItem> m_array;
    const CAudioFilterGenArray* m_genArray = nullptr;
    CAudioFilterList m_list;
    Params m_params;
    double m_rate = 44100.0;
    CFilterSectionList m_sections;
    std::vector<double> m_state;  // two per section
    // The filter faded out and its states.
    CFilterSectionList m_oldSections;
    std::vector<double> m_oldState;
    std::vector<double> m_scratch;
    int m_fadeLength = 0;          // requested
    int m_fadeRun = 0, m_fadePos = 0;  // the fade in progress
    Params m_pending;
    bool m_hasPending = false;
    bool m_running = false;        // audio passed since prepare or reset
};

class CModFilterIIRModule : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override;
    void process(int frames) override;
    void reset() override;

    const CModFilterIIR* processor(int ch) const { return m_procs[size_t(ch)].get(); }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;

private:
    const CAudioFilterGenArray* m_array = nullptr;
    std::vector<std::unique_ptr<CModFilterIIR>> m_procs;
    double m_procRate = 0.0;
};

using CModFilterIIRDef = CModDefT<CModFilterIIRModule>;
