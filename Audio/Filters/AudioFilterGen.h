#pragma once
// Filter generators: shared definition objects that turn a short list of
// parameter values into filters (Audio/Filters/AudioFilterList.h).
//
//   audio:fltgen-rbj          CAudioFilterRBJGen      one cookbook biquad
//   audio:fltgen-lphp1        CAudioFilterLPHP1Gen    one first-order section
//   audio:fltgen-serial       CAudioFilterSerialGen   its items' filters in series
//   audio:fltgen-array        CAudioFilterGenArray    the filter of one item, by index
//   audio:fltgen-firlp, audio:fltgen-firlim           FIR kernels (AudioFilterGenFIR.h)
//
// Generators read their attributes in init() and resolve references to
// other generators in initLinks(). After that they are immutable: generate()
// may run on any thread at once, and never allocates when the list's reserve
// holds what it produces (size the reserve with the max... bounds).
//
// The IIR generators read "freq" (Hz), "gain" (linear) and "bw" (a Q with
// "is-q", else a bandwidth in octaves); absent values read as 1000 Hz, 1, 1.

#include <initializer_list>
#include <string_view>
#include <vector>

#include "Audio/Filters/AudioFilterList.h"
#include "Audio/Filters/FilterDesign.h"
#include "Core/Object.h"

KELSTR(CAudioFilterGen_init_InvalidType, "Invalid filter type '%1' specified.");
KELSTR(CAudioFilterGen_initLinks_NoGen, "Filter generator '%1' not found.");
KELSTR(CAudioFilterGenArrayItem_init_NoParent, "CAudioFilterGenArray class parent expected.");
KELSTR(CAudioFilterGenArrayItem_init_InvalidIndex, "Invalid filter index '%1' specified.");
KELSTR(CAudioFilterSerialGenItem_init_InvalidAdjustPow, "Invalid 'adjust-pow' attribute value '%1' specified.");

class CAudioFilterGen : public CObject {
public:
    // Nesting of composite generators deeper than this is cut off (a
    // reference cycle then generates nothing instead of recursing forever).
    static constexpr int kMaxDepth = 16;

    // Appends what the generator makes of the parameter values at the design
    // rate (Hz): sections, kernels, latency.
    void generate(CAudioFilterList& list, double rate, const CAudioFilterParamList& params) const {
        generateNested(list, rate, params, 0);
    }

    // Bounds for a list's reserve: the most sections and kernels one call
    // can append, and the most FIR taps over the parameters' ranges at a rate.
    size_t maxSections() const { return maxSectionsNested(0); }
    size_t maxKernels() const { return maxKernelsNested(0); }
    size_t maxTaps(double rate, const CAudioFilterParamList& ranges) const { return maxTapsNested(rate, ranges, 0); }

    // Appends the names of the parameters the generator reads that are not
    // listed yet, in the order it reads them.
    void collectParamNames(std::vector<std::string_view>& names) const { collectParamNamesNested(names, 0); }

    // The nested forms composite generators call on their parts.
    virtual void generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                                int depth) const = 0;
    virtual size_t maxSectionsNested(int depth) const {
        (void)depth;
        return 0;
    }
    virtual size_t maxKernelsNested(int depth) const {
        (void)depth;
        return 0;
    }
    virtual size_t maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const {
        (void)rate, (void)ranges, (void)depth;
        return 0;
    }
    virtual void collectParamNamesNested(std::vector<std::string_view>& names, int depth) const {
        (void)names, (void)depth;
    }

protected:
    // Reads the "type" attribute: an integer 0 ... count-1 (absent: 0).
    CError readType(int count, int* type) const;
    static void addNames(std::vector<std::string_view>& names, std::initializer_list<std::string_view> add);
};

// The (freq, gain, bw) triple an IIR design reads from a list.
CFilterParams kelFilterParams(const CAudioFilterParamList& params);

// audio:fltgen-rbj: "type" 0 low-pass, 1 high-pass, 2 band-pass (0 dB peak),
// 3 band-pass (constant skirt), 4 notch, 5 all-pass, 6 peaking, 7 low shelf,
// 8 high shelf; "is-q" reads bw as a Q. "is-type2", "is-inverted" and
// "is-gain-q" are read and kept; no design of ours varies with them.
class CAudioFilterRBJGen : public CAudioFilterGen {
public:
    CError init() override;
    void generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                        int depth) const override;
    size_t maxSectionsNested(int) const override { return 1; }
    void collectParamNamesNested(std::vector<std::string_view>& names, int depth) const override;

    const CFilterGenSetup& setup() const { return m_setup; }
    bool isType2() const { return m_type2; }
    bool isInverted() const { return m_inverted; }
    bool isGainQ() const { return m_gainQ; }

private:
    CFilterGenSetup m_setup{CFilterGenSetup::kRBJ, 0, false};
    bool m_type2 = false, m_inverted = false, m_gainQ = false;
};

// audio:fltgen-lphp1: "type" 0 low-pass, 1 high-pass; the amplitude at freq
// is -3 dB.
class CAudioFilterLPHP1Gen : public CAudioFilterGen {
public:
    CError init() override;
    void generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                        int depth) const override;
    size_t maxSectionsNested(int) const override { return 1; }
    void collectParamNamesNested(std::vector<std::string_view>& names, int depth) const override;

    int type() const { return m_type; }

private:
    int m_type = 0;
};

// audio:fltgen-serial-item: "fltgen" (the generator, a path), "adjust"
// (multipliers of freq, gain and bw, comma separated; missing ones are 1)
// and "adjust-pow" (an exponent applied to each of them first).
class CAudioFilterSerialGenItem : public CObject {
public:
    CError init() override;
    CError initLinks() override;

    const CAudioFilterGen* generator() const { return m_gen; }
    // The parameter list the item's generator receives.
    void adjust(const CAudioFilterParamList& in, CAudioFilterParamList& out) const;

private:
    const CAudioFilterGen* m_gen = nullptr;
    std::vector<double> m_adjust;
    bool m_hasPow = false;
    double m_pow = 1.0;
};

// audio:fltgen-serial: the filters of its items, in order.
class CAudioFilterSerialGen : public CAudioFilterGen {
public:
    CError initLinks() override;
    void generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                        int depth) const override;
    size_t maxSectionsNested(int depth) const override;
    size_t maxKernelsNested(int depth) const override;
    size_t maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const override;
    void collectParamNamesNested(std::vector<std::string_view>& names, int depth) const override;

    const std::vector<const CAudioFilterSerialGenItem*>& items() const { return m_items; }

private:
    std::vector<const CAudioFilterSerialGenItem*> m_items;
};

// audio:fltgen-array-item: "index" and "fltgen"; only inside an array.
class CAudioFilterGenArrayItem : public CObject {
public:
    CError init() override;
    CError initLinks() override;

    int index() const { return m_index; }
    const CAudioFilterGen* generator() const { return m_gen; }

private:
    int m_index = 0;
    const CAudioFilterGen* m_gen = nullptr;
};

// audio:fltgen-array: selects one generator by index. As a generator itself
// it reads the parameter "index" (rounded; absent: 0).
class CAudioFilterGenArray : public CAudioFilterGen {
public:
    CError initLinks() override;
    void generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                        int depth) const override;
    size_t maxSectionsNested(int depth) const override;
    size_t maxKernelsNested(int depth) const override;
    size_t maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const override;
    void collectParamNamesNested(std::vector<std::string_view>& names, int depth) const override;

    // The generator of an index, or nullptr.
    const CAudioFilterGen* item(int index) const;
    size_t itemCount() const { return m_items.size(); }

private:
    std::vector<const CAudioFilterGenArrayItem*> m_items;
};
