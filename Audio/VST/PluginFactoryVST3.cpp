#include "Product/ProductCreators.h"
#include "Audio/VST/PluginFactoryVST3.h"

#include <cstring>
#include <mutex>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/Object.h"

namespace sb = Steinberg;

namespace {

// Copies UTF-8 text into a fixed char8 field, cut at a character boundary.
void copyUtf8(sb::char8* dst, size_t size, const CString& text) {
    std::string s = text.utf8();
    size_t n = std::min(s.size(), size - 1);
    while (n > 0 && n < s.size() && (uint8_t(s[n]) & 0xC0) == 0x80) --n;
    std::memcpy(dst, s.data(), n);
    std::memset(dst + n, 0, size - n);
}

void copyUtf16(sb::char16* dst, size_t size, const CString& text) {
    std::u16string s = text.utf16();
    size_t n = std::min(s.size(), size - 1);
    for (size_t i = 0; i < n; ++i) dst[i] = sb::char16(s[i]);
    for (size_t i = n; i < size; ++i) dst[i] = 0;
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

void CPluginFactoryVST3::parseClassId(const CString& text, sb::TUID out) {
    std::memset(out, 0, sizeof(sb::TUID));
    if (text.length() < 36) return;
    // Text positions of the 32 digits, and the byte each digit pair lands in.
    static constexpr int kGroups[5][2] = {{0, 8}, {9, 4}, {14, 4}, {19, 4}, {24, 12}};
    static constexpr int kByteOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    uint8_t bytes[16] = {};
    int byte = 0;
    for (const auto& g : kGroups) {
        for (int i = 0; i < g[1]; i += 2) {
            const int hi = hexDigit(text.at(size_t(g[0] + i)));
            const int lo = hexDigit(text.at(size_t(g[0] + i + 1)));
            if (hi < 0 || lo < 0) return;
            bytes[byte++] = uint8_t(hi << 4 | lo);
        }
    }
    for (int i = 0; i < 16; ++i) out[kByteOrder[i]] = static_cast<sb::char8>(bytes[i]);
}

CPluginFactoryVST3::CPluginFactoryVST3(const CObject& project) {
    copyUtf8(m_factoryInfo.vendor, sb::PFactoryInfo::kNameSize, project.attr("app-vendor"));
    copyUtf8(m_factoryInfo.url, sb::PFactoryInfo::kURLSize, project.attr("app-vendor-url"));
    copyUtf8(m_factoryInfo.email, sb::PFactoryInfo::kEmailSize, project.attr("app-vendor-email"));
    m_factoryInfo.flags = sb::PFactoryInfo::kUnicode;

    parseClassId(project.attr("plugin-uuid"), m_classInfo2.cid);
    m_classInfo2.cardinality = sb::PClassInfo::kManyInstances;
    copyUtf8(m_classInfo2.category, sb::PClassInfo::kCategorySize, kCategory);
    copyUtf8(m_classInfo2.name, sb::PClassInfo::kNameSize, project.attr("app-name"));
    m_classInfo2.classFlags = 0;
    copyUtf8(m_classInfo2.subCategories, sb::PClassInfo2::kSubCategoriesSize, project.attr("plugin-category-vst3"));
    copyUtf8(m_classInfo2.vendor, sb::PClassInfo2::kVendorSize, CString());
    copyUtf8(m_classInfo2.version, sb::PClassInfo2::kVersionSize, project.attr("app-version"));
    copyUtf8(m_classInfo2.sdkVersion, sb::PClassInfo2::kVersionSize, kSdkVersion);

    std::memcpy(m_classInfoW.cid, m_classInfo2.cid, sizeof(sb::TUID));
    m_classInfoW.cardinality = m_classInfo2.cardinality;
    std::memcpy(m_classInfoW.category, m_classInfo2.category, sizeof(m_classInfoW.category));
    copyUtf16(m_classInfoW.name, sb::PClassInfo::kNameSize, project.attr("app-name"));
    m_classInfoW.classFlags = 0;
    std::memcpy(m_classInfoW.subCategories, m_classInfo2.subCategories, sizeof(m_classInfoW.subCategories));
    copyUtf16(m_classInfoW.vendor, sb::PClassInfoW::kVendorSize, CString());
    copyUtf16(m_classInfoW.version, sb::PClassInfoW::kVersionSize, project.attr("app-version"));
    copyUtf16(m_classInfoW.sdkVersion, sb::PClassInfoW::kVersionSize, kSdkVersion);
}

sb::tresult PLUGIN_API CPluginFactoryVST3::queryInterface(const sb::TUID iid, void** obj) {
    if (!obj) return sb::kInvalidArgument;
    if (sb::FUnknownPrivate::iidEqual(iid, sb::FUnknown::iid) ||
        sb::FUnknownPrivate::iidEqual(iid, sb::IPluginFactory::iid) ||
        sb::FUnknownPrivate::iidEqual(iid, sb::IPluginFactory2::iid) ||
        sb::FUnknownPrivate::iidEqual(iid, sb::IPluginFactory3::iid)) {
        addRef();
        *obj = static_cast<sb::IPluginFactory3*>(this);
        return sb::kResultOk;
    }
    *obj = nullptr;
    return sb::kNoInterface;
}

sb::uint32 PLUGIN_API CPluginFactoryVST3::addRef() { return ++m_refs; }

sb::tresult PLUGIN_API CPluginFactoryVST3::getFactoryInfo(sb::PFactoryInfo* info) {
    if (!info) return sb::kInvalidArgument;
    *info = m_factoryInfo;
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CPluginFactoryVST3::getClassInfo(sb::int32 index, sb::PClassInfo* info) {
    if (!info || index != 0) return sb::kInvalidArgument;
    std::memcpy(info->cid, m_classInfo2.cid, sizeof(sb::TUID));
    info->cardinality = m_classInfo2.cardinality;
    std::memcpy(info->category, m_classInfo2.category, sizeof(info->category));
    std::memcpy(info->name, m_classInfo2.name, sizeof(info->name));
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CPluginFactoryVST3::getClassInfo2(sb::int32 index, sb::PClassInfo2* info) {
    if (!info || index != 0) return sb::kInvalidArgument;
    *info = m_classInfo2;
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CPluginFactoryVST3::getClassInfoUnicode(sb::int32 index, sb::PClassInfoW* info) {
    if (!info || index != 0) return sb::kInvalidArgument;
    *info = m_classInfoW;
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CPluginFactoryVST3::setHostContext(sb::FUnknown*) { return sb::kResultOk; }

sb::tresult PLUGIN_API CPluginFactoryVST3::createInstance(sb::FIDString cid, sb::FIDString iid, void** obj) {
    if (!obj) return sb::kInvalidArgument;
    *obj = nullptr;
    if (!cid || !iid || std::memcmp(cid, m_classInfo2.cid, sizeof(sb::TUID)) != 0) return sb::kNoInterface;
    auto* instance = new CAudioWrapperVST3();
    sb::TUID wanted;
    std::memcpy(wanted, iid, sizeof(sb::TUID));
    const sb::tresult r = instance->queryInterface(wanted, obj);
    instance->release();  // the reference queryInterface added is now the caller's
    return r == sb::kResultOk ? sb::kResultOk : sb::kNoInterface;
}

// --- Module ---------------------------------------------------------------------------

namespace {
std::mutex g_moduleLock;
int g_moduleRefs = 0;
CPluginFactoryVST3* g_factory = nullptr;
}  // namespace

sb::uint32 PLUGIN_API CPluginFactoryVST3::release() {
    const sb::uint32 left = --m_refs;
    if (left == 0) {
        {
            std::lock_guard<std::mutex> g(g_moduleLock);
            if (g_factory == this) g_factory = nullptr;
        }
        delete this;
    }
    return left;
}

sb::IPluginFactory* vst3PluginFactory() {
    std::lock_guard<std::mutex> g(g_moduleLock);
    if (g_factory) {
        g_factory->addRef();
        return g_factory;
    }
    CSharedObject* shared = CApplication::sharedObject();
    const CObject* project = shared ? shared->findChild("project") : nullptr;
    if (!project) {
        kelLog("GetPluginFactory: no application object or no project identity");
        return nullptr;
    }
    g_factory = new CPluginFactoryVST3(*project);
    return g_factory;
}

bool vst3ModuleEntry(const void* moduleAddress) {
    std::lock_guard<std::mutex> g(g_moduleLock);
    if (g_moduleRefs > 0) {
        ++g_moduleRefs;
        return true;
    }
    CApplication::StartOptions options = kelProductStartOptions();
    options.moduleAddress = moduleAddress;
    // A failing start is logged and shown by the application; the host then
    // gives the module up without a matching exit.
    if (CApplication::start(options)) return false;
    g_moduleRefs = 1;
    return true;
}

bool vst3ModuleExit() {
    std::lock_guard<std::mutex> g(g_moduleLock);
    if (g_moduleRefs == 0) return false;
    if (--g_moduleRefs == 0) CApplication::finish();
    return true;
}
