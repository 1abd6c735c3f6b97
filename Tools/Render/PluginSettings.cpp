#include "Tools/Render/PluginSettings.h"

#include <cmath>

#include "Tools/Render/ParamText.h"

namespace sv = Steinberg::Vst;

namespace render {

std::string setParameter(host::CPluginInstance& plugin, const std::string& title, const std::string& text) {
    sv::ParamID id = 0;
    if (std::string err = plugin.findParameter(title, &id); !err.empty()) return err;
    // The text the value reads back as must say what was asked for: a text
    // that does not parse or lies outside the range is refused, not clamped.
    double value = 0.0;
    const bool parsed = plugin.valueFromText(id, text, &value);
    const std::string shown = parsed ? plugin.parameterText(id, value) : std::string();
    if (!parsed || !displayTextAgrees(text, shown)) {
        std::string why = "bad value '" + text + "' for " + title;
        const std::string lo = plugin.parameterText(id, 0.0), hi = plugin.parameterText(id, 1.0);
        if (!lo.empty() && !hi.empty()) why += " (" + lo + " .. " + hi + ")";
        return why;
    }
    plugin.queueChange(id, value);
    return {};
}

std::string parameterTextByTitle(const host::CPluginInstance& plugin, const std::string& title) {
    sv::ParamID id = 0;
    if (!plugin.findParameter(title, &id).empty()) return {};
    return plugin.parameterText(id, plugin.parameterValue(id));
}

std::string setParameterNormalized(host::CPluginInstance& plugin, const std::string& title, double value) {
    sv::ParamID id = 0;
    if (std::string err = plugin.findParameter(title, &id); !err.empty()) return err;
    if (!(value >= 0.0 && value <= 1.0)) return "normalized values lie in 0..1";
    plugin.queueChange(id, value);
    return {};
}

std::string setParameterNumber(host::CPluginInstance& plugin, const std::string& title, double number) {
    sv::ParamID id = 0;
    if (std::string err = plugin.findParameter(title, &id); !err.empty()) return err;
    auto shown = [&](double normalized, double* v) { return leadingNumber(plugin.parameterText(id, normalized), v); };
    double lo = 0.0, hi = 0.0;
    if (!shown(0.0, &lo) || !shown(1.0, &hi) || !(hi > lo)) return title + " shows no rising number";
    if (number < lo || number > hi) return "no value " + std::to_string(number) + " for " + title;
    double a = 0.0, b = 1.0;  // the text at a is at most the number, at b above it
    for (int i = 0; i < 48; ++i) {
        const double m = 0.5 * (a + b);
        double v = 0.0;
        if (!shown(m, &v)) return title + " shows no number at " + std::to_string(m);
        (v <= number ? a : b) = m;
    }
    double va = 0.0, vb = 0.0;
    shown(a, &va);
    shown(b, &vb);
    plugin.queueChange(id, std::fabs(va - number) <= std::fabs(vb - number) ? a : b);
    return {};
}

std::string parameterRange(const host::CPluginInstance& plugin, const std::string& title, double* lo, double* hi) {
    sv::ParamID id = 0;
    if (std::string err = plugin.findParameter(title, &id); !err.empty()) return err;
    if (!leadingNumber(plugin.parameterText(id, 0.0), lo) || !leadingNumber(plugin.parameterText(id, 1.0), hi))
        return title + " shows no number";
    return {};
}

}  // namespace render
