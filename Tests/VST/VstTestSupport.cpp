#include "Product/ProductCreators.h"
#include "VstTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <system_error>
#include <utility>

#include "Core/Application.h"
#include "Core/Resources.h"

namespace vsttest {

namespace {

using Attrs = std::vector<std::pair<std::string, std::string>>;

// The product's identity and switches as the adapter reads them.
const Attrs kProject = {
    {"app-name", "Tamblor"},
    {"app-full-name", "Kelvane Tamblor"},
    {"app-vendor", "Kelvane"},
    {"app-version", "4.9"},
    {"app-vendor-url", "https://www.kelvane.example/"},
    {"app-vendor-email", "support@kelvane.example"},
    {"plugin-code", "v87u"},
    {"plugin-category-vst3", "Fx|Mastering"},
    {"plugin-uuid", "5C2E7A14-93B0-4F6D-A8E1-3D7C0B94F26A"},
    {"plugin-intchannel-count", "8"},
    {"plugin-group-count", "8"},
    {"plugin-tail", "0.4"},
    {"window-width", "590"},
    {"window-height", "444"},
    {"auto-oversampling-rtmode", "1"},
    {"is-symmetric-io", "true"},
    {"is-viz-always-active", "false"},
    {"use-routing", "true"},
    {"use-sidechain", "false"},
    {"use-mid-side", "false"},
    {"use-host-bpm", "false"},
    {"use-host-recording", "false"},
    {"use-window-resizing", "false"},
};

class CWriter {
public:
    uint16_t str(const std::string& s) {
        auto it = m_index.find(s);
        if (it != m_index.end()) return it->second;
        const auto id = uint16_t(m_strings.size());
        m_strings.push_back(s);
        m_index[s] = id;
        return id;
    }
    void u8(std::vector<uint8_t>& b, uint8_t v) { b.push_back(v); }
    void u16(std::vector<uint8_t>& b, uint16_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    }
    void u32(std::vector<uint8_t>& b, uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t> document(const std::vector<uint8_t>& rootNode) {
        std::vector<uint8_t> block, out;
        uint32_t offset = uint32_t(4 * m_strings.size());
        for (const auto& s : m_strings) {
            u32(block, offset);
            offset += uint32_t(s.size() + 1);
        }
        for (const auto& s : m_strings) {
            block.insert(block.end(), s.begin(), s.end());
            block.push_back(0);
        }
        u32(out, uint32_t(m_strings.size()));
        u32(out, uint32_t(block.size()));
        out.insert(out.end(), block.begin(), block.end());
        out.insert(out.end(), rootNode.begin(), rootNode.end());
        return out;
    }

private:
    std::vector<std::string> m_strings;
    std::map<std::string, uint16_t> m_index;
};

// The resource table of the stand-in (u32 length, then the document).
std::vector<uint8_t>& standInResource() {
    static std::vector<uint8_t> res = [] {
        std::vector<uint8_t> doc = standInDefinitions();
        std::vector<uint8_t> r;
        for (int i = 0; i < 4; ++i) r.push_back(uint8_t(doc.size() >> (8 * i)));
        r.insert(r.end(), doc.begin(), doc.end());
        return r;
    }();
    return res;
}

}  // namespace

std::vector<uint8_t> standInDefinitions() {
    CWriter w;
    std::vector<uint8_t> node;
    w.u16(node, w.str("definitions"));
    w.u16(node, w.str(""));
    w.u8(node, 0);
    w.u16(node, 0);  // no attributes
    w.u16(node, 1);  // one child: the project
    w.u16(node, w.str("core:object"));
    w.u16(node, w.str("project"));
    w.u8(node, 0);
    w.u16(node, uint16_t(kProject.size()));
    for (const auto& [name, value] : kProject) {
        w.u16(node, w.str(name));
        w.u16(node, w.str(value));
    }
    w.u16(node, 0);
    return w.document(node);
}

bool embeddedDefinitionsPresent() {
    for (const KelResourceRow* r = g_kelResourceTable; r && r->data; ++r)
        if (std::strcmp(r->name, "SharedData.xml") == 0) return true;
    return false;
}

bool startApplication() {
    if (embeddedDefinitionsPresent()) return !CApplication::start(kelProductStartOptions());
    static KelResourceRow table[2] = {{nullptr, "SharedData.xml"}, {nullptr, nullptr}};
    table[0].data = standInResource().data();
    CApplication::StartOptions o;
    o.resources = table;
    return !CApplication::start(o);
}

void finishApplication() { CApplication::finish(); }

// --- Folders ------------------------------------------------------------------------------

CScratchDir::CScratchDir() {
    // A fresh folder: creating one that exists fails, so try another name.
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const auto dir = std::filesystem::temp_directory_path() / ("tamblor-vst-" + std::to_string(seed()));
        std::error_code ec;
        if (std::filesystem::create_directory(dir, ec)) m_path = dir.generic_string();
    }
    const std::vector<uint8_t> doc = standInDefinitions();
    std::ofstream f(m_path + "/SharedData.xml", std::ios::binary);
    f.write(reinterpret_cast<const char*>(doc.data()), std::streamsize(doc.size()));
}

CScratchDir::~CScratchDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

CWorkingDir::CWorkingDir(const std::string& dir) {
    m_previous = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
}

CWorkingDir::~CWorkingDir() {
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
}

// --- Instance ---------------------------------------------------------------------------------

CInstance::CInstance() : m_obj(new CAudioWrapperVST3()) {
    m_initialized = m_obj->initialize(nullptr) == Steinberg::kResultOk;
    if (m_initialized) m_obj->setComponentHandler(&handler);
}

CInstance::~CInstance() {
    if (m_initialized) m_obj->terminate();
    m_obj->release();
}

}  // namespace vsttest
