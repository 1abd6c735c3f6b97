#pragma once
// Fixture of the parameter interface tests: an instance tree built in code
// (parameter collector, viz collector, interface base and its in-process
// connector, a master and a routing registry, a handful of parameters) and
// up to two editor trees, each with a client connector and a client. The
// client connectors tick from the run loop at 1000 frames per second, so a
// test delivers base -> client messages by pumping.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Interface/AudioInterfaceBase.h"
#include "Audio/Interface/AudioInterfaceClient.h"
#include "Audio/Viz/AudioVizCollector.h"
#include "Audio/Interface/ParamInterfaceUni.h"
#include "Tests/Audio/ParamFixture.h"

// A client connector that keeps a copy of every message it sends.
class CSpyClientConnector : public CParamInterfaceUniClientConnector {
public:
    CError sendToBase(std::span<const uint8_t> message) override {
        sent.emplace_back(message.begin(), message.end());
        return CParamInterfaceUniClientConnector::sendToBase(message);
    }
    // The last message sent under a name.
    std::vector<uint8_t> last(std::string_view name) const;
    std::vector<std::vector<uint8_t>> sent;
};

// Counts the events a client notifies, by name.
class CEventCounter : public CObject {
public:
    CEventCounter();
    void watch(CObject* sender, std::initializer_list<const char*> events);
    int count(const std::string& event) const {
        auto it = counts.find(event);
        return it == counts.end() ? 0 : it->second;
    }
    std::map<std::string, int> counts;
    std::vector<CEventParams> params;
};

struct Editor {
    std::unique_ptr<CObject> root;
    CSpyClientConnector* connector = nullptr;
    CAudioInterfaceClient* client = nullptr;
    std::unique_ptr<CEventCounter> events;
};

class ProtocolTest : public ParamTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A parameter made from definition attributes, registered with the collector.
    CAudioParam* addParam(const char* fullName, Attrs attrs, uint32_t groups = 8);
    // A new editor tree connected to the instance.
    Editor& openEditor();
    void closeEditor(Editor& e);
    // Runs the run loop until every open editor's timer delivered twice
    // (so whatever was sent before the call has arrived).
    void pump();

    // A preset of the master registry with one ingain value for every group.
    CAudioPreset ingainPreset(const char* name, double gain);
    // Writes a value as the host side would and announces it.
    void hostWrite(CAudioParam* p, uint32_t g, double v);
    double ingain(uint32_t g = 0) const { return kelMainParamValue(*m_ingain, g, 0); }

    std::unique_ptr<CObject> m_instance;
    CAudioParamCollector* m_collector = nullptr;
    CAudioVizCollector* m_viz = nullptr;
    CAudioInterfaceBase* m_base = nullptr;
    CParamInterfaceUniBaseConnector* m_baseConnector = nullptr;
    CAudioParamRegistry* m_master = nullptr;
    CAudioParamRegistry* m_routing = nullptr;
    CAudioParam* m_ingain = nullptr;
    CAudioParam* m_release = nullptr;
    CAudioParam* m_instanceName = nullptr;
    CAudioParam* m_groupNames = nullptr;
    CAudioParam* m_meterEnable = nullptr;

    std::vector<std::unique_ptr<CObject>> m_defs;
    std::vector<std::unique_ptr<CAudioParam>> m_params;
    std::vector<std::unique_ptr<Editor>> m_editors;
    std::string m_bankFile;
};
