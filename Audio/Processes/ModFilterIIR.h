#pragma once
// CModFilterIIR: the IIR filter processor of one channel. It runs the
// sections that the selected entry of a generator array produces in series
// (transposed direct form II, two 64-bit states per section). The sections
// are regenerated when index, freq, gain, bw or the sample rate change; a
// change of the section count clears the states, otherwise they carry over.

#include <span>
#include <vector>

#include "Audio/Filters/FilterDesign.h"

class CModFilterIIR {
public:
    // Module parameters in index order.
    struct Params {
        int index = 0;        // which array entry
        double freq = 1000.0; // Hz
        double gain = 1.0;    // linear
        double bw = 1.0;      // bandwidth or Q, as the generator reads it
        bool operator==(const Params&) const = default;
    };

    // The generator array (not owned; it must outlive the processor). Checked
    // here, so that regeneration while processing cannot fail.
    CError setGenArray(std::span<const CFilterArrayItem> array);

    // Reserves the section list and states for the largest array entry.
    void prepare(double sampleRate, int maxBlock);
    void setParams(const Params& p);
    void reset();

    // in may equal out.
    void process(const double* in, double* out, int frames);

    std::span<const CFilterSection> sections() const { return m_sections; }

private:
    void regenerate();

    std::span<const CFilterArrayItem> m_array;
    Params m_params;
    double m_rate = 44100.0;
    CFilterSectionList m_sections;
    std::vector<double> m_state;  // two per section
};
