#include "Core/AppData.h"

#include <algorithm>
#include <string>

#include "Core/FileStream.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"
#include "Core/Resources.h"
#include "Core/Stream.h"
#include "Platform/File.h"
#include "Platform/System.h"
#include "Platform/Thread.h"

namespace {
constexpr char kItemExtension[] = ".dat";

// Collects written bytes in a vector (a compressed block is built in memory
// before it goes to the file, so that a failing deflate leaves no file).
class CVectorWriter final : public COutputStream {
public:
    explicit CVectorWriter(std::vector<uint8_t>* out) : m_out(out) {}
    CError write(const void* buffer, size_t count) override {
        const auto* b = static_cast<const uint8_t*>(buffer);
        m_out->insert(m_out->end(), b, b + count);
        return {};
    }

private:
    std::vector<uint8_t>* m_out;
};

std::string slashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

// Path components of a text, split at "/" and "\".
std::vector<std::string> components(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == '/' || c == '\\') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

// Joins base (a folder relative to the per-user folder) and an item name,
// resolving "." and ".."; false when the result leaves the per-user folder
// or names no file.
bool relativeItemPath(const char* base, const CString& name, std::string* out) {
    const std::string n = name.utf8();
    if (n.empty() || n.front() == '/' || n.front() == '\\' || n.find(':') != std::string::npos) return false;
    if (n.back() == '/' || n.back() == '\\') return false;
    std::vector<std::string> parts;
    for (const auto& c : components(std::string(base) + "/" + n)) {
        if (c == ".") continue;
        if (c == "..") {
            if (parts.empty()) return false;
            parts.pop_back();
            continue;
        }
        parts.push_back(c);
    }
    if (parts.empty()) return false;
    std::string joined;
    for (const auto& p : parts) joined += (joined.empty() ? "" : "/") + p;
    *out = joined;
    return true;
}

CError readWholeFile(const CString& path, std::vector<uint8_t>* out) {
    CFileReader f;
    KEL_TRY(f.open(path));
    uint64_t size = 0;
    KEL_TRY(f.getSize(&size));
    out->resize(size_t(size));
    if (size) KEL_TRY(f.read(out->data(), out->size()));
    KEL_TRY(f.close());
    return {};
}

CAppDataGlobal g_appDataGlobal;
CAppDataGroup g_appDataGroup;
CAppDataLocal g_appDataLocal;
}  // namespace

CAppDataGlobal::CAppDataGlobal() : CAppData("Kelvane/", "", "AppDataGlobal_", "Kelvane/Audio Plug-Ins/") {}
CAppDataGroup::CAppDataGroup() : CAppData("Kelvane/Audio Plug-Ins/", "", "AppDataGroup_", "") {}
CAppDataLocal::CAppDataLocal() : CAppData("Kelvane/Audio Plug-Ins/Tamblor/", "Tamblor/", "AppDataLocal_", "") {}

CAppData& CAppData::global() { return g_appDataGlobal; }
CAppData& CAppData::group() { return g_appDataGroup; }
CAppData& CAppData::local() { return g_appDataLocal; }

CAppData* CAppData::byStorageType(const CString& type) {
    if (type == "global") return &global();
    if (type == "group") return &group();
    if (type == "local") return &local();
    return nullptr;
}

CAppData::CAppData(const char* folder, const char* secondName, const char* resourcePrefix, const char* altFolder)
    : m_folder(folder), m_secondName(secondName), m_resourcePrefix(resourcePrefix), m_altFolder(altFolder) {}

CAppData::~CAppData() = default;

// --- Paths ------------------------------------------------------------------------

void CAppData::preparePaths() {
    if (m_pathsReady) return;
    m_pathsReady = true;
    const std::string root = slashes(plat::userAppDataFolder());
    if (root.empty()) {
        CError e = KEL_ERROR(kelstr_CAppData_preparePaths_NoUserFolder);
        kelLogError(e);
        return;
    }
    m_userRoot = CString(root);
    m_userPath = CString(root + "/" + m_folder);
    const std::string common = slashes(plat::commonAppDataFolder());
    if (!common.empty()) {
        m_commonRoot = CString(common);
        m_commonPath = CString(common + "/" + m_folder);
    }
    if (m_altFolder[0]) m_altPath = CString(root + "/" + m_altFolder);
    // The user path's folders, one component at a time; existing ones stay.
    std::string path = root;
    for (const auto& c : components(m_folder)) {
        path += "/" + c;
        if (!plat::createDirectory(path)) {
            CError e = KEL_ERROR(kelstr_CAppData_preparePaths_CreateFolder, CString(path));
            kelLogError(e);
            return;
        }
    }
    m_userFolderOk = true;
}

CString CAppData::userPath() {
    plat::CLock g(m_lock);
    preparePaths();
    return m_userPath;
}

CString CAppData::commonPath() {
    plat::CLock g(m_lock);
    preparePaths();
    return m_commonPath;
}

CString CAppData::alternativePath() {
    plat::CLock g(m_lock);
    preparePaths();
    return m_altPath;
}

bool CAppData::isUserFolderReady() {
    plat::CLock g(m_lock);
    preparePaths();
    return m_userFolderOk;
}

void CAppData::resetPaths() {
    plat::CLock g(m_lock);
    m_pathsReady = false;
    m_userFolderOk = false;
    m_userRoot = m_commonRoot = m_userPath = m_commonPath = m_altPath = CString();
    m_loaded.clear();
}

void CAppData::resetAllPaths() {
    global().resetPaths();
    group().resetPaths();
    local().resetPaths();
}

CError CAppData::itemFiles(const CString& name, ItemFiles* out) {
    std::string rel;
    if (!relativeItemPath(m_folder, name, &rel)) return KEL_ERROR(kelstr_CAppData_itemPath_InvalidName, name);
    out->key = CString(rel);
    out->user = out->alternative = out->common = CString();
    if (m_userRoot.empty()) return {};
    out->user = m_userRoot + CString("/" + rel + kItemExtension);
    if (m_altFolder[0]) {
        std::string altRel;
        if (relativeItemPath(m_altFolder, name, &altRel))
            out->alternative = m_userRoot + CString("/" + altRel + kItemExtension);
    }
    if (!m_commonRoot.empty()) out->common = m_commonRoot + CString("/" + rel + kItemExtension);
    return {};
}

CAppData::ItemRef CAppData::parseItemRef(const CString& ref) {
    size_t bar = ref.find(u'|');
    if (bar == CString::npos) return {ref.trimmed(), CString()};
    return {ref.substr(0, bar).trimmed(), ref.substr(bar + 1).trimmed()};
}

// --- Items --------------------------------------------------------------------------

CError CAppData::readData(const CString& name, uint32_t id, std::vector<uint8_t>* out, bool* found,
                          const CString& defaultResource) {
    out->clear();
    if (found) *found = false;
    plat::CLock g(m_lock);
    preparePaths();
    ItemFiles files;
    KEL_TRY(itemFiles(name, &files));
    auto it = m_loaded.find(files.key);
    CString source;
    if (it == m_loaded.end()) {
        for (const CString* path : {&files.user, &files.alternative, &files.common}) {
            if (path->empty() || !plat::fileExists(path->utf8())) continue;
            std::vector<uint8_t> bytes;
            KEL_TRY(readWholeFile(*path, &bytes));
            it = m_loaded.emplace(files.key, std::move(bytes)).first;
            source = *path;
            break;
        }
    }
    if (it != m_loaded.end()) {
        CMemoryReader r(it->second.data(), it->second.size());
        if (CError e = r.readCompressedData(out, id))
            return addError(std::move(e), __FILE__, __LINE__, source.empty() ? files.key : source, {});
        if (found) *found = true;
        return {};
    }
    const CString resource = defaultResource.empty() ? CString(m_resourcePrefix) + name : defaultResource;
    if (ResourceMap::contains(resource)) {
        std::span<const uint8_t> bytes = ResourceMap::find(resource);
        CMemoryReader r(bytes.data(), bytes.size());
        if (CError e = r.readCompressedData(out, id)) return addError(std::move(e), __FILE__, __LINE__, resource, {});
        if (found) *found = true;
        return {};
    }
    if (found) return {};
    return KEL_ERROR(kelstr_CAppData_readData_NotFound, name);
}

CError CAppData::writeData(const CString& name, uint32_t id, std::span<const uint8_t> data,
                           CAppDataListener* writer) {
    std::vector<uint8_t> block;
    CVectorWriter w(&block);
    KEL_TRY(w.writeCompressedData(data, id));
    {
        plat::CLock g(m_lock);
        preparePaths();
        ItemFiles files;
        KEL_TRY(itemFiles(name, &files));
        if (!m_userFolderOk)
            return KEL_ERROR(kelstr_CAppData_writeData_NoFolder, m_userPath.empty() ? CString(m_folder) : m_userPath);
        // Folders of nested names ("presets/mode"); the store's own exist.
        const std::string file = files.user.utf8();
        for (size_t pos = m_userRoot.utf8().size() + 1; (pos = file.find('/', pos)) != std::string::npos; ++pos)
            plat::createDirectory(file.substr(0, pos));
        m_loaded.erase(files.key);
        CFileWriter f;
        KEL_TRY(f.open(files.user));
        KEL_TRY(f.write(block.data(), block.size()));
        KEL_TRY(f.close());
        m_loaded[files.key] = std::move(block);
    }
    inform(name, writer);
    return {};
}

CError CAppData::readString(const CString& name, CString* out, bool* found) {
    *out = CString();
    std::vector<uint8_t> bytes;
    KEL_TRY(readData(name, kIdDstr, &bytes, found));
    if (found && !*found) return {};
    CMemoryReader r(bytes.data(), bytes.size());
    KEL_TRY(r.readString(out));
    return {};
}

CString CAppData::readStringOr(const CString& name, const CString& def) {
    CString v;
    bool found = false;
    if (CError e = readString(name, &v, &found)) {
        kelLogError(e);
        return def;
    }
    return found ? v : def;
}

CError CAppData::writeString(const CString& name, const CString& value, CAppDataListener* writer) {
    std::vector<uint8_t> bytes;
    CVectorWriter w(&bytes);
    KEL_TRY(w.writeString(value));
    KEL_TRY(writeData(name, kIdDstr, bytes, writer));
    return {};
}

// --- Listeners ------------------------------------------------------------------------

void CAppData::addListener(CAppDataListener* listener) {
    // From a callback the informing thread already holds the listener lock.
    const bool nested = m_informingThread.load() == plat::currentThreadId();
    if (!nested) m_listenerLock.lock();
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
    if (!nested) m_listenerLock.unlock();
}

void CAppData::removeListener(CAppDataListener* listener) {
    const bool nested = m_informingThread.load() == plat::currentThreadId();
    if (!nested) m_listenerLock.lock();
    std::erase(m_listeners, listener);
    if (!nested) m_listenerLock.unlock();
}

void CAppData::inform(const CString& name, CAppDataListener* writer) {
    // The listener lock is held while callbacks run, so that a listener
    // removed by another thread is never called afterwards. A write from a
    // callback informs again on the same thread without taking it twice.
    const uint64_t me = plat::currentThreadId();
    const bool nested = m_informingThread.load() == me;
    if (!nested) {
        m_listenerLock.lock();
        m_informingThread.store(me);
    }
    const std::vector<CAppDataListener*> snapshot = m_listeners;
    for (CAppDataListener* l : snapshot) {
        if (l == writer) continue;
        // Skip listeners removed by an earlier callback.
        if (std::find(m_listeners.begin(), m_listeners.end(), l) == m_listeners.end()) continue;
        l->appDataChanged(*this, name);
    }
    if (!nested) {
        m_informingThread.store(0);
        m_listenerLock.unlock();
    }
}
