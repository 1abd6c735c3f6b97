#include "Product/ProductCreators.h"
#include "ProductFixture.h"

#include "Audio/Graph/ProcessDef.h"
#include "Audio/Graph/ProcessStack.h"
#include "Core/Log.h"

namespace producttest {

void ProductDefinition::SetUp() {
    kelSetLogSink([this](std::string_view line) { m_log.emplace_back(line); });
    CError e = CApplication::start(kelProductStartOptions());
    ASSERT_FALSE(e) << e.text();
    m_shared = CApplication::sharedObject();

    e = CApplication::instance()->initRootObject({}, &m_root);
    ASSERT_FALSE(e) << e.text();
    e = m_root->createChild("plugin", "plugin", &m_plugin);
    ASSERT_FALSE(e) << e.text();
    e = m_plugin->findObjectChecked<CAudioParamCollector>("plugin.param-collector", &m_collector);
    ASSERT_FALSE(e) << e.text();
    CAudioEnv* env = nullptr;
    e = m_plugin->findObjectChecked<CAudioEnv>("plugin.audio-env", &env);
    ASSERT_FALSE(e) << e.text();

    const auto* mainDef = dynamic_cast<const CAudioProcessDefBase*>(&def("audio.modMain"));
    ASSERT_NE(mainDef, nullptr);
    m_build = std::make_unique<CAudioProcessBuild>(m_collector, env);
    std::unique_ptr<CAudioProcessBase> main = m_build->createProcess(*mainDef);
    main->setName("modMain");
    m_main = main.get();
    m_plugin->attachChild(std::move(main));
    e = m_main->build(*mainDef, *m_build);
    ASSERT_FALSE(e) << e.text();
}

void ProductDefinition::TearDown() {
    // The runtime parameters leave the collector before it goes.
    if (m_plugin && m_main) m_plugin->releaseChild(m_main).reset();
    m_root.reset();
    CApplication::finish();
    kelSetLogSink({});
}

std::vector<std::string> ProductDefinition::logLines(const std::string& text) const {
    std::vector<std::string> out;
    for (const std::string& l : m_log)
        if (l.find(text) != std::string::npos) out.push_back(l);
    return out;
}

const CObject& ProductDefinition::def(const char* path) const {
    static const CObject* const none = new CObject();  // stands in for a missing object
    const CObject* o = m_shared ? m_shared->findObject(CString(path)) : nullptr;
    EXPECT_NE(o, nullptr) << path;
    return o ? *o : *none;
}

CAudioProcessBase* ProductDefinition::process(const std::string& fullName) const {
    // Depth-first over the runtime tree; stacks answer with their first instance.
    std::vector<CObject*> todo{m_main};
    while (!todo.empty()) {
        CObject* o = todo.back();
        todo.pop_back();
        auto* p = dynamic_cast<CAudioProcessBase*>(o);
        if (p && !p->name().empty() && p->fullName().utf8() == fullName) {
            if (auto* s = dynamic_cast<CAudioProcessStack*>(p)) return s->instance(0);
            return p;
        }
        for (const auto& c : o->children()) todo.push_back(c.get());
    }
    ADD_FAILURE() << "no runtime process " << fullName;
    return nullptr;
}

std::vector<std::string> processNames(const CObject& container) {
    std::vector<std::string> out;
    for (const auto& c : container.children())
        if (dynamic_cast<const CAudioProcessDefBase*>(c.get())) out.push_back(c->name().utf8());
    return out;
}

}  // namespace producttest
