#pragma once
// The plug-in factory: one class ("Audio Module Class", sub-categories from
// the project) whose instances are CAudioWrapperVST3 objects. The factory and
// class information are filled from "shared::project" when the factory is
// created (on the first GetPluginFactory call of a module load).

#include <atomic>
#include <cstdint>

#include "Core/String.h"
#include "pluginterfaces/base/ipluginbase.h"

class CObject;

class CPluginFactoryVST3 : public Steinberg::IPluginFactory3 {
public:
    static constexpr const char* kCategory = "Audio Module Class";
    static constexpr const char* kSdkVersion = "VST 3.5.1";

    // Fills the information from the project object.
    explicit CPluginFactoryVST3(const CObject& project);
    virtual ~CPluginFactoryVST3() = default;

    // The class id of "plugin-uuid": 36 or more characters, hexadecimal
    // digits at 0-7, 9-12, 14-17, 19-22, 24-35, stored in the GUID layout
    // (first group and the next two groups byte-reversed). Anything else
    // gives 16 zero bytes.
    static void parseClassId(const CString& text, Steinberg::TUID out);

    const Steinberg::PFactoryInfo& factoryInfo() const { return m_factoryInfo; }
    const Steinberg::PClassInfo2& classInfo2() const { return m_classInfo2; }
    const Steinberg::PClassInfoW& classInfoW() const { return m_classInfoW; }

    // --- FUnknown --------------------------------------------------------------
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

    // --- IPluginFactory, 2, 3 --------------------------------------------------------
    Steinberg::tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) override;
    Steinberg::int32 PLUGIN_API countClasses() override { return 1; }
    Steinberg::tresult PLUGIN_API getClassInfo(Steinberg::int32 index, Steinberg::PClassInfo* info) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid,
                                                 void** obj) override;
    Steinberg::tresult PLUGIN_API getClassInfo2(Steinberg::int32 index, Steinberg::PClassInfo2* info) override;
    Steinberg::tresult PLUGIN_API getClassInfoUnicode(Steinberg::int32 index, Steinberg::PClassInfoW* info) override;
    Steinberg::tresult PLUGIN_API setHostContext(Steinberg::FUnknown* context) override;

private:
    std::atomic<Steinberg::uint32> m_refs{1};
    Steinberg::PFactoryInfo m_factoryInfo;
    Steinberg::PClassInfo2 m_classInfo2;
    Steinberg::PClassInfoW m_classInfoW;
};

// The module's factory: created and filled on the first call while the
// application exists (null otherwise); later calls add a reference to it.
Steinberg::IPluginFactory* vst3PluginFactory();
// Module load and unload, counted: the first entry starts the application,
// the matching last exit finalises it. moduleAddress is an address inside
// the module. Entry returns false when the application could not start.
bool vst3ModuleEntry(const void* moduleAddress);
bool vst3ModuleExit();
