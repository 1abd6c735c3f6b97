#include "Host/Module.h"

// The system's loader: LoadLibrary on Windows, dlopen elsewhere.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>

namespace sb = Steinberg;

namespace host {

namespace {

// The system's side of loading a module: open, look up, close.
#ifdef _WIN32
constexpr const char* kBundleArch = sizeof(void*) == 4 ? "x86-win" : "x86_64-win";
constexpr const char* kModuleSuffix = ".vst3";
constexpr const char* kEntryName = "InitDll";
constexpr const char* kExitName = "ExitDll";

std::wstring widen(const std::string& s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

void* openLibrary(const std::string& path, std::string* error) {
    HMODULE h = LoadLibraryW(widen(path).c_str());
    if (!h) *error = "system error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(h);
}
void* librarySymbol(void* lib, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}
void closeLibrary(void* lib) { FreeLibrary(static_cast<HMODULE>(lib)); }

// Both entry points take no argument.
using EntryFn = bool(PLUGIN_API*)();
bool callEntry(void* fn, void*) { return reinterpret_cast<EntryFn>(fn)(); }
#else
constexpr const char* kBundleArch = "x86_64-linux";
constexpr const char* kModuleSuffix = ".so";
constexpr const char* kEntryName = "ModuleEntry";
constexpr const char* kExitName = "ModuleExit";

void* openLibrary(const std::string& path, std::string* error) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) *error = dlerror();
    return h;
}
void* librarySymbol(void* lib, const char* name) { return dlsym(lib, name); }
void closeLibrary(void* lib) { dlclose(lib); }

bool callEntry(void* fn, void* handle) { return reinterpret_cast<bool (*)(void*)>(fn)(handle); }
#endif

}  // namespace

std::string CModule::libraryPath(const std::string& bundlePath) {
    std::string bundle = bundlePath;
    while (bundle.size() > 1 && bundle.back() == '/') bundle.pop_back();
    const size_t slash = bundle.rfind('/');
    std::string name = slash == std::string::npos ? bundle : bundle.substr(slash + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vst3") == 0) name.resize(name.size() - 5);
    return bundle + "/Contents/" + kBundleArch + "/" + name + kModuleSuffix;
}

std::string CModule::load(const std::string& bundlePath) {
    unload();
    const std::string lib = libraryPath(bundlePath);
    std::string why;
    m_handle = openLibrary(lib, &why);
    if (!m_handle) return "cannot load '" + lib + "': " + why;
    using FactoryFn = sb::IPluginFactory*(PLUGIN_API*)();
    void* entry = librarySymbol(m_handle, kEntryName);
    auto getFactory = reinterpret_cast<FactoryFn>(librarySymbol(m_handle, "GetPluginFactory"));
    if (!entry || !getFactory) {
        unload();
        return "'" + lib + "' lacks " + kEntryName + " or GetPluginFactory";
    }
    if (!callEntry(entry, m_handle)) {
        unload();
        return std::string(kEntryName) + " of '" + lib + "' failed";
    }
    m_entered = true;
    m_factory = getFactory();
    if (!m_factory) {
        unload();
        return "GetPluginFactory of '" + lib + "' returned no factory";
    }
    return {};
}

void CModule::unload() {
    if (m_factory) {
        m_factory->release();
        m_factory = nullptr;
    }
    if (m_handle) {
        if (m_entered) {
            using ExitFn = bool(PLUGIN_API*)();
            if (auto exitFn = reinterpret_cast<ExitFn>(librarySymbol(m_handle, kExitName))) exitFn();
        }
        closeLibrary(m_handle);
        m_handle = nullptr;
    }
    m_entered = false;
}

}  // namespace host
