// Arbitrary bytes as parameter interface messages, fed to the base's and the
// client's message handlers of one instance and one editor connected
// in-process. The first byte picks the receiving end. Properties: nothing
// crashes or leaks; a message the base refuses leaves the parameter values
// and the undo history as they were.
#include <cstdlib>
#include <memory>
#include <vector>

#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Params/AudioParamDef.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Interface/AudioInterfaceBase.h"
#include "Audio/Interface/AudioInterfaceClient.h"
#include "Core/Application.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"
#include "Audio/Interface/ParamInterfaceUni.h"

namespace {
std::unique_ptr<CObject> node(const char* tag, const char* name,
                              std::initializer_list<std::pair<const char*, const char*>> attrs) {
    std::unique_ptr<CObject> o = createObject(tag);
    o->setName(name);
    for (const auto& [k, v] : attrs) FUZZ_CHECK(!o->setAttr(k, v));
    return o;
}

struct World {
    std::unique_ptr<CObject> defs, instance, editor;
    std::vector<std::unique_ptr<CAudioParam>> params;
    CAudioParamCollector* collector = nullptr;
    CAudioInterfaceBase* base = nullptr;
    CAudioInterfaceClient* client = nullptr;
    CParamInterfaceUniClientConnector* connector = nullptr;

    World() {
        CApplication::StartOptions options;
        options.sharedDefinition = nullptr;
        FUZZ_CHECK(!CApplication::start(options));
        auto audio = node("core:object", "audio", {});
        audio->attachChild(node("audio:cvt-real", "real", {}));
        audio->attachChild(node("audio:cvt-text", "text", {}));
        CObject* a = audio.get();
        FUZZ_CHECK(!CApplication::sharedObject()->addChild(std::move(audio)));
        FUZZ_CHECK(!a->initTree());

        defs = node("core:object", "", {});
        defs->attachChild(node("audio:param", "num",
                               {{"converter", "shared::audio.real"}, {"min-values", "0"}, {"max-values", "4"},
                                {"def-values", "1"}, {"is-storable", "true"}}));
        defs->attachChild(node("audio:param", "text",
                               {{"data-type", "str"}, {"converter", "shared::audio.text"}, {"def-values", "A,B"},
                                {"is-storable", "true"}, {"is-single-group", "true"}}));
        FUZZ_CHECK(!defs->initTree());

        instance = node("core:object", "", {});
        auto plugin = node("core:object", "plugin", {});
        auto coll = node("audio:param-collector", "param-collector", {});
        collector = dynamic_cast<CAudioParamCollector*>(coll.get());
        plugin->attachChild(std::move(coll));
        const char* names[] = {"plugin.modMain.gain", "plugin.modMain.names"};
        for (size_t i = 0; i < 2; ++i) {
            params.push_back(CAudioParam::create(*dynamic_cast<CAudioParamDef*>(defs->child(i)), names[i], 8));
            FUZZ_CHECK(!collector->registerParam(params.back().get()));
        }
        auto b = node("audio:interface-base", "interface-base",
                      {{"base-connector", "^interface-base-connector"}, {"param-collector", "^param-collector"}});
        base = dynamic_cast<CAudioInterfaceBase*>(b.get());
        plugin->attachChild(std::move(b));
        plugin->attachChild(node("other:param-interface-base-connector-uni", "interface-base-connector", {}));
        auto registry = std::make_unique<CAudioParamRegistry>();
        registry->setName("param-registry");
        for (auto [k, v] : {std::pair{"id", "v87u"}, {"hierarchy", "plugin.modMain"}, {"is-master", "true"},
                            {"preset-naming", "Master preset"}, {"param-undo", "^interface-base"},
                            {"param-collector", "^param-collector"}})
            FUZZ_CHECK(!registry->setAttr(k, v));
        plugin->attachChild(std::move(registry));
        instance->attachChild(std::move(plugin));
        FUZZ_CHECK(!instance->initTree());

        editor = node("core:object", "", {});
        FUZZ_CHECK(!editor->setAttr("BaseConnectorRootPtr",
                                    CParamInterfaceUniClientConnector::rootPointerText(instance.get())));
        // No timer: the fuzzer delivers by hand.
        auto c = node("other:param-interface-client-connector-uni", "interface-client-connector",
                      {{"base-connector", "plugin.interface-base-connector"}, {"fps", "0"}});
        connector = dynamic_cast<CParamInterfaceUniClientConnector*>(c.get());
        editor->attachChild(std::move(c));
        auto cl = node("audio:interface-client", "interface-client",
                       {{"client-connector", "^interface-client-connector"}, {"group-names-param", "plugin.modMain.names"}});
        client = dynamic_cast<CAudioInterfaceClient*>(cl.get());
        editor->attachChild(std::move(cl));
        FUZZ_CHECK(!editor->initTree());
        uint32_t id = 0;
        FUZZ_CHECK(!client->listenParam("plugin.modMain.gain", &id));
        FUZZ_CHECK(!client->listenRegistry("param-registry", &id));
        connector->deliver();
    }

    // The editor goes before the instance it is connected to, the parameters
    // after the collector that lists them, their definitions last.
    ~World() {
        editor.reset();
        instance.reset();
        params.clear();
        defs.reset();
    }
};

World* g_world = nullptr;

// The world lives for the run and goes with the application at exit, before
// the block allocator hands its chunks back: left alive, whatever its objects
// hold on the heap (undo entries, registry mirrors, strings) would be found
// unreachable by the leak check once those chunks are gone.
World& world() {
    if (!g_world) {
        g_world = new World();
        std::atexit([] {
            delete g_world;
            g_world = nullptr;
            CApplication::finish();
        });
    }
    return *g_world;
}

std::vector<uint8_t> valuesOf(const CAudioParam& p) {
    CMemoryWriter w;
    FUZZ_CHECK(!p.storage().save(w, "p"));
    return w.take();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    World* const world = &::world();
    const std::span<const uint8_t> message(data + 1, size - 1);
    if (data[0] & 1) {
        (void)world->client->processBaseMessage(message);
        return 0;
    }
    const std::vector<uint8_t> before = valuesOf(*world->params[0]);
    const size_t undo = world->base->paramUndo()->count();
    const int position = world->base->paramUndo()->position();
    if (world->base->processClientMessage(world->connector->clientId(), message)) {
        FUZZ_CHECK(valuesOf(*world->params[0]) == before);
        FUZZ_CHECK(world->base->paramUndo()->count() == undo && world->base->paramUndo()->position() == position);
    }
    // What the base answered goes to the client as it would from the timer.
    world->connector->deliver();
    return 0;
}
