#pragma once
// Test fixture of the parameter tests: an application without definitions
// whose shared object holds the shared converters as the product declares
// them, plus helpers to build definition trees in code.

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "Product/ProductCreators.h"
#include "Audio/Params/AudioParam.h"
#include "Core/Application.h"
#include "Core/Object.h"
#include "Core/Stream.h"

using Attrs = std::initializer_list<std::pair<const char*, const char*>>;

inline std::unique_ptr<CObject> makeNode(const char* tag, const char* name, Attrs attrs = {}) {
    std::unique_ptr<CObject> o = createObject(tag);
    o->setName(name);
    for (const auto& [k, v] : attrs) (void)o->setAttr(k, v);
    return o;
}

// Output stream into a byte vector.
class CByteWriter : public COutputStream {
public:
    CError write(const void* buffer, size_t count) override {
        const auto* b = static_cast<const uint8_t*>(buffer);
        bytes.insert(bytes.end(), b, b + count);
        return {};
    }
    std::vector<uint8_t> bytes;
};

class ParamTest : public ::testing::Test {
protected:
    void SetUp() override {
        CApplication::StartOptions options = kelProductStartOptions();
        options.sharedDefinition = nullptr;
        ASSERT_TRUE(CApplication::start(options).ok());
        CObject* shared = CApplication::sharedObject();
        auto audio = makeNode("core:object", "audio");
        auto cvt = makeNode("core:object", "paramcvt");
        addTo(cvt.get(), "audio:cvt-gain", "gain", {{"decimals", "1"}, {"scale-power", "1.0"}, {"scale-threshold", "-1.0"}});
        addTo(cvt.get(), "audio:cvt-freq", "freq", {{"scale-power", "1.0"}, {"scale-threshold", "-1.0"}});
        addTo(cvt.get(), "audio:cvt-bw", "bw");
        addTo(cvt.get(), "audio:cvt-ratio", "ratio");
        addTo(cvt.get(), "audio:cvt-text", "text");
        addTo(cvt.get(), "audio:cvt-real", "real");
        addTo(cvt.get(), "audio:cvt-percent", "percent");
        addTo(cvt.get(), "audio:cvt-time", "time", {{"scale", "0.001"}});
        addTo(cvt.get(), "audio:cvt-time", "time-log", {{"scale", "0.001"}, {"is-log", "true"}});
        addTo(cvt.get(), "audio:cvt-time", "time-sec", {{"scale", "1.0"}});
        addTo(cvt.get(), "audio:cvt-enum", "enum");
        addTo(cvt.get(), "audio:cvt-enum", "enum-enable", {{"state-names", "Off;On"}});
        ASSERT_TRUE(audio->addChild(std::move(cvt)).ok());
        addTo(audio.get(), "audio:cvt-gain", "cvt-gain-in", {{"decimals", "2"}, {"scale-power", "1.0"}, {"scale-threshold", "-1.0"}});
        addTo(audio.get(), "audio:cvt-gain", "cvt-gain-out",
              {{"decimals", "2"}, {"scale-power", "3.8"}, {"scale-threshold", "0.8333333"}});
        CObject* a = audio.get();
        ASSERT_TRUE(shared->addChild(std::move(audio)).ok());
        ASSERT_TRUE(a->initTree().ok());
    }
    void TearDown() override {
        CAudioParamInfo::setStateNamesProvider(nullptr);
        CApplication::finish();
    }

    static void addTo(CObject* parent, const char* tag, const char* name, Attrs attrs = {}) {
        ASSERT_TRUE(parent->addChild(makeNode(tag, name, attrs)).ok());
    }

    template <class T>
    static T* shared(const char* path) {
        return dynamic_cast<T*>(CApplication::sharedObject()->findObject(path));
    }

    // A parameter definition "p" under a fresh root, initialised; the error
    // of its init is returned (the definition stays reachable through def).
    CError makeDef(Attrs attrs) {
        m_root = makeNode("core:object", "");
        m_root->attachChild(makeNode("audio:param", "p", attrs));
        def = dynamic_cast<CAudioParamDef*>(m_root->child(0));
        return m_root->initTree();
    }

    CAudioParamDef* def = nullptr;
    std::unique_ptr<CObject> m_root;
};
