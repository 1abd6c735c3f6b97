// The entry points of the plug-in module: the only symbols it exports.
#include "Audio/VST/PluginFactoryVST3.h"

extern "C" {

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() { return vst3PluginFactory(); }

// Module load (once per dlopen by the host): starts the application.
SMTG_EXPORT_SYMBOL bool ModuleEntry(void*) { return vst3ModuleEntry(reinterpret_cast<const void*>(&ModuleEntry)); }

// Module unload: finalises the application after the last matching entry.
SMTG_EXPORT_SYMBOL bool ModuleExit() { return vst3ModuleExit(); }

}  // extern "C"
