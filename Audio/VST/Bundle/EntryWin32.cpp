// The entry points of the Windows module: GetPluginFactory, InitDll and
// ExitDll, exported with undecorated names (the 32-bit link strips the
// "@0" of the SDK's calling convention).
//
// Hosts call InitDll right after loading the module and ExitDll before
// unloading it. For hosts that never call them, the first GetPluginFactory
// starts the application itself, and unloading the module finishes it.
#include <atomic>
#include <cstddef>

#include "Audio/VST/PluginFactoryVST3.h"
#include "Core/Application.h"
#include "Platform/Thread.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

// Hosts built with other compilers lay out the structures they pass in the
// Windows way (the SDK packs to 8 bytes on 32-bit, 16 on 64-bit; 64-bit
// integers and doubles 8-aligned on both). Checked here for each build.
namespace abi {
namespace sv = Steinberg::Vst;
constexpr bool k32 = sizeof(void*) == 4;
static_assert(offsetof(sv::ProcessSetup, sampleRate) == 16 && sizeof(sv::ProcessSetup) == 24);
static_assert(offsetof(sv::AudioBusBuffers, silenceFlags) == 8);
static_assert(offsetof(sv::AudioBusBuffers, channelBuffers32) == 16 && sizeof(sv::AudioBusBuffers) == 24);
static_assert(offsetof(sv::ProcessData, numOutputs) == 16);
static_assert(offsetof(sv::ProcessData, inputs) == (k32 ? 20 : 24));
static_assert(offsetof(sv::ProcessData, inputParameterChanges) == (k32 ? 28 : 40));
static_assert(offsetof(sv::ProcessData, processContext) == (k32 ? 44 : 72));
static_assert(sizeof(sv::ProcessData) == (k32 ? 48 : 80));
static_assert(offsetof(sv::ProcessContext, sampleRate) == 8 && offsetof(sv::ProcessContext, tempo) == 72);
static_assert(offsetof(sv::ProcessContext, frameRate) == 96 && sizeof(sv::ProcessContext) == 112);
static_assert(sizeof(Steinberg::PClassInfo) == 116 && sizeof(Steinberg::PFactoryInfo) == 452);
}  // namespace abi

namespace {
std::atomic<bool> g_implicitTried{false};
std::atomic<bool> g_implicitStarted{false};
}  // namespace

extern "C" {

SMTG_EXPORT_SYMBOL bool PLUGIN_API InitDll() {
    return vst3ModuleEntry(reinterpret_cast<const void*>(&InitDll));
}

SMTG_EXPORT_SYMBOL bool PLUGIN_API ExitDll() { return vst3ModuleExit(); }

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    // Started by nobody: a host that does not call InitDll. One try only; a
    // failed start has been shown already.
    bool expected = false;
    if (!CApplication::instance() && g_implicitTried.compare_exchange_strong(expected, true))
        g_implicitStarted.store(vst3ModuleEntry(reinterpret_cast<const void*>(&InitDll)));
    return vst3PluginFactory();
}

// The system's module notification (process attach and detach). Only the
// detach of an unload (not of process termination, reserved != null) has
// work: an implicit start is finished, and run-loop windows let go of this
// module's code.
int __stdcall DllMain(void* /*instance*/, unsigned long reason, void* reserved) {
    constexpr unsigned long kProcessDetach = 0;
    if (reason == kProcessDetach && reserved == nullptr) {
        if (g_implicitStarted.exchange(false)) vst3ModuleExit();
        plat::releaseRunLoops();
    }
    return 1;
}

}  // extern "C"
