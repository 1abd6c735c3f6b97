#pragma once
// The render tool's settings of a plug-in instance, by parameter title: as
// text the plug-in parses (and must read back as asked), as a normalized
// value, or as the number its display text shows. A change reaches the
// controller at once and the processor with the next block.
//
// Errors are returned as messages (empty string: success).

#include <string>

#include "Host/PluginInstance.h"

namespace render {

std::string setParameter(host::CPluginInstance& plugin, const std::string& title, const std::string& text);
std::string setParameterNormalized(host::CPluginInstance& plugin, const std::string& title, double value);
// By the number its display text shows (dB for a gain), for a parameter
// whose text grows with its value: the normalized value whose text comes
// nearest, to the precision the text shows. Values outside the range are
// refused.
std::string setParameterNumber(host::CPluginInstance& plugin, const std::string& title, double number);
// The numbers the display texts show at the ends of a parameter's range.
std::string parameterRange(const host::CPluginInstance& plugin, const std::string& title, double* lo, double* hi);
// The display text of a parameter's current value; empty when there is no
// parameter of that title.
std::string parameterTextByTitle(const host::CPluginInstance& plugin, const std::string& title);

}  // namespace render
