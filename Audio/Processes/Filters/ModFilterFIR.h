#pragma once
// The FIR filter module (audio:modFilterFIR): the resamplers' low-pass stages
// and the limiter's transient filter.
//
// CModFilterFIR: the processor of one channel, a block convolver that
// changes kernels with a cross-fade (Audio/Vector/FIRConvolver.h).
//
// CModFilterFIRModule: slots 0 "count" (read, unused), 1 "index" (which
// generator of the "gen-array"), 2 "latency" (block order 0 ... 14: blocks of
// 2^round(latency) samples), 3 "fixsr" (design rate 44100 Hz at >= 0.5, else
// the module's rate), 4 "length" (s), then the generators' own parameters
// in the order they read them ("freq", "beta" for the low-pass; "power" for
// the transient kernel). Attributes: "gen-array", "is-zero-latency" (the
// first taps run directly and the block adds no latency), "is-smooth-update"
// and "xfade-length".
//
// The kernel is regenerated when index, length, fixsr or a generator
// parameter change, or when the rate changes the design rate; the new kernel
// takes over with a raised-cosine cross-fade over "xfade-length" (15 ms when
// it is 0 and "is-smooth-update" is set; at once when neither is). Reported
// latency: the generators' accumulated latency plus the block (nothing for
// the block with "is-zero-latency").
//
// Storage is reserved when prepared, for the longest kernel at the highest
// rate: the longest the bound parameters' ranges allow, but no longer than
// the current kernel or kMaxPreparedSpan seconds at the highest rate,
// whichever is longer (the transient kernel at its longest, 10 ms, fits; a
// resampler stage does not reserve for a 500 ms window nobody asks for).
// Regeneration designs into that storage and never allocates; a kernel that
// would not fit is not installed (the module keeps the one it has and
// reports it). The block order is taken when prepared.

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "Audio/Filters/AudioFilterGen.h"
#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Vector/FIRConvolver.h"

KELSTR(CModFilterFIR_init_GenArrayNotFound, "The 'gen-array' '%1' not found.");

class CAudioParam;

class CModFilterFIR : public CModProcessorBase {
public:
    CModFilterFIR() { start(); }

    // Sizes the convolution for kernels of up to maxTaps (two of them during
    // a change-over).
    CError prepare(size_t maxTaps, int blockOrder, bool zeroLatency);
    // Changes the kernel over fadeSamples (0: at once); false when it does
    // not fit the prepared length.
    bool setKernel(std::span<const double> taps, int fadeSamples) {
        return m_conv.changeKernel(taps, size_t(fadeSamples > 0 ? fadeSamples : 0));
    }
    void reset() { m_conv.reset(); }
    // in may equal out.
    void process(const double* in, double* out, int frames) { m_conv.process(in, out, size_t(frames)); }

    int blockLatency() const { return int(m_conv.latency()); }
    bool changing() const { return m_conv.changing(); }
    size_t kernelLength() const { return m_conv.kernelLength(); }

private:
    CFIRConvolver m_conv;
};

class CModFilterFIRModule : public CAudioProcessTerminalBase {
public:
    // The span of signal the storage covers beyond the current kernel.
    static constexpr double kMaxPreparedSpan = 0.010;
    static constexpr int kFirstGenSlot = 5;

    CError prepare(const CProcessConfig& config) override;
    void process(int frames) override;
    void reset() override;
    double latency() const override { return m_latency; }
    double maxLatencySeconds() const override;
    // The bound when the module only ever runs at the rate it was prepared
    // for (the filters of a resampler stage, fixed at their octave of the
    // host rate).
    double maxLatencySecondsAtPreparedRate() const;

    // Introspection (tests).
    const CAudioFilterList& filterList() const { return m_list; }
    size_t preparedTaps() const { return m_capacity; }
    const CModFilterFIR* processor(int ch) const { return m_procs[size_t(ch)].get(); }
    const std::vector<std::string_view>& genParamNames() const { return m_genNames; }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;

private:
    // The parameter values of the slots (ranges from the bound parameters when
    // withRanges is set).
    void readParams(CAudioFilterParamList& out, bool withRanges) const;
    // Designs for the current values; installs the kernel unless it is the
    // one in effect. fadeSamples 0 installs at once.
    void regenerate(int fadeSamples, bool mainThread);
    void report(int problem, bool mainThread);

    const CAudioFilterGenArray* m_array = nullptr;
    std::vector<std::string_view> m_genNames;  // slots 5...
    std::vector<const CAudioParam*> m_slotParams;  // bound parameters (ranges), by slot
    std::vector<std::unique_ptr<CModFilterFIR>> m_procs;
    CAudioFilterList m_list;
    size_t m_capacity = 0;
    int m_blockOrder = 7;
    int m_block = 128;
    bool m_zeroLatency = false;
    double m_latency = 0.0;
    // What the kernel in effect was designed from.
    CAudioFilterParamList m_designed;
    int m_designedIndex = -1;
    double m_designedRate = 0.0;
    bool m_haveDesign = false;
    int m_problem = 0;  // the last reported problem (0 none)
};

using CModFilterFIRDef = CModDefT<CModFilterFIRModule>;
