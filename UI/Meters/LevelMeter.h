#pragma once
// Bar meters.
//
// CLevelMeterBase (tag "ui:level-meter-base"): the readings of a meter. Its
// ui:level-meter-listener children (at least one: "At least one listener
// object is required.") deliver per-channel values; "level-field"
// ("level") and "peak-field" ("peak") name the fields read, as linear
// amplitudes shown in dB (20 log10; "-inf" for silence). The channels shown
// are "audio-channels-list" (blank-separated indices over the listeners'
// channels in order) or all of them; with "is-combined" one bar stands for
// all of them, its level the "combo-mode" and its peak mark the
// "combo-mode-peak" combination ("sum" (power sum), "max", "min", "avg",
// "rms"; others fail with the invalid-combo messages). Values below
// "silence-floor" (-150 dB) count as silence.
//
// Exported after each update: "sum-value" and "sum-peak" (the combination
// over the shown channels in "out-format", "%0.1f"; "-inf" when silent) and,
// when the source counts clippings (a "clips" field), "clip-count" (their
// sum) with the state "clipped" while it is above 0.
//
// Peak hold: each bar's mark holds its highest peak for "peak-hold-time"
// seconds (1.5), then falls at "peak-release" dB per second (20) until it
// meets the peak again. The meter repaints only its own area and only when
// a bar or mark moved.
//
// CLevelMeter (tag "ui:level-meter"): draws the bars from the range object
// ("min-max", path of a ui:min-max; without one -60..0 dB) as lamps of
// "lamp-size" logical pixels ("4", one pixel apart; "is-flat" draws solid
// bars), vertical unless "is-vertical" is false, from the far end with
// "is-inverted". Lamps up to "zone-yellow" take the colour "Zone1", up to
// "zone-red" "Zone2", above "Zone3"; the peak mark "Peak" ("PeakRed" above
// "zone-red"); "threshold-bridge" draws that parameter's value as a mark in
// "Threshold" (at minus the value with "is-threshold-negated", for a gain
// that pushes the signal into a fixed ceiling); "zone-yellow-bridge" / "zone-red-bridge" take the zones
// from parameters while those are known. With "is-threshold-draggable" a
// drag along the bar sets the threshold parameter to the level under the
// pointer, as one undo step. Unlit lamps are "MeterBack".
//
// "text-view": a view whose text follows one exported value
// ("text-field", "sum-value" unless told), e.g. a statistics cell.

#include <vector>

#include "UI/View/View.h"

KELSTR(CLevelMeterBase_init_NoListeners, "At least one listener object is required.");
KELSTR(CLevelMeterBase_init_InvalidComboMode, "Invalid combo mode.");
KELSTR(CLevelMeterBase_init_InvalidComboModePeak, "Invalid peak combo mode.");
KELSTR(CLevelMeter_updateLamps_BadLampHeight, "Invalid lamp height.");

class CLevelMeterListener;
class CMinMax;
class CParamBridge;

enum class EMeterCombo : int { Sum = 0, Max = 1, Min = 2, Avg = 3, Rms = 4 };

// Combination of linear amplitudes (NaN entries are skipped; 0 when none).
double kelMeterCombine(EMeterCombo mode, const double* values, size_t count);
// dB of a linear amplitude (-inf for 0 and below).
double kelMeterDb(double amplitude);
// Parses a combo-mode name; false for unknown names.
bool kelParseMeterCombo(const CString& name, EMeterCombo* out);

class CLevelMeterBase : public CView {
public:
    struct Bar {
        double level = 0, peak = 0;  // linear amplitudes of the newest values
        double heldDb = -HUGE_VAL;   // the peak mark (dB)
        double holdStart = 0;        // when the mark was last raised
    };

    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    CError onAttrChanged(const CString& attrName) override;

    // Reads the listeners' newest values at time `now` (seconds) and moves
    // the peak marks; true when anything shown changed.
    bool update(double now);
    const std::vector<Bar>& bars() const { return m_bars; }
    double barLevelDb(size_t i) const { return kelMeterDb(m_bars[i].level); }
    double barPeakDb(size_t i) const { return kelMeterDb(m_bars[i].peak); }
    const std::vector<CLevelMeterListener*>& listeners() const { return m_listeners; }
    const CMinMax* range() const { return m_range; }
    // Formats a dB value with "out-format" ("-inf" when silent).
    CString formatDb(double db) const;

protected:
    CError setVisibleState(bool shown);

private:
    CError readModes();
    std::vector<CLevelMeterListener*> m_listeners;
    std::vector<int> m_channels;
    std::vector<Bar> m_bars;
    CMinMax* m_range = nullptr;
    EMeterCombo m_combo = EMeterCombo::Sum, m_comboPeak = EMeterCombo::Max;
    double m_lastUpdate = -1;
    CString m_shownText;
};

class CLevelMeter : public CLevelMeterBase {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;
    // Position (0..1 along the bar) of a dB value, and back.
    double positionOf(double db) const;
    double dbAt(double position) const;
    // The zones in effect (dB).
    double zoneYellow() const;
    double zoneRed() const;
    CError onViewEvent(const CString& name, CEventParams& p) override;

private:
    CError dragTo(CEventParams& p);
    CParamBridge* m_threshold = nullptr;
    CParamBridge* m_zoneYellow = nullptr;
    CParamBridge* m_zoneRed = nullptr;
    bool m_dragging = false;
};
