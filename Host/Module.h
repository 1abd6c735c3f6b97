#pragma once
// A plug-in bundle's module loaded through the system's loader (Linux:
// dlopen and ModuleEntry; Windows: LoadLibrary and InitDll), and its factory
// from GetPluginFactory. Instances are made from the factory by
// CPluginInstance; an editor host loads the module the same way.
//
// Errors are returned as messages (empty string: success).

#include <string>

#include "pluginterfaces/base/ipluginbase.h"

namespace host {

class CModule {
public:
    CModule() = default;
    ~CModule() { unload(); }
    CModule(const CModule&) = delete;
    CModule& operator=(const CModule&) = delete;

    // bundlePath: "<dir>/<Name>.vst3"; its Contents/x86_64-linux/<Name>.so is
    // loaded (Windows: Contents/x86_64-win/<Name>.vst3, x86-win for 32-bit).
    std::string load(const std::string& bundlePath);
    // Releases the factory, calls ModuleExit (ExitDll) and closes the library.
    void unload();
    Steinberg::IPluginFactory* factory() const { return m_factory; }

    static std::string libraryPath(const std::string& bundlePath);

private:
    void* m_handle = nullptr;
    bool m_entered = false;
    Steinberg::IPluginFactory* m_factory = nullptr;
};

}  // namespace host
