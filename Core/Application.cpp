#include "Core/Application.h"

#include "Core/AppErrorWindow.h"
#include "Core/CoreCreators.h"
#include "Core/Log.h"
#include "Platform/System.h"

namespace {
CApplication* g_app = nullptr;
int64_t g_timeBase = 0;
}  // namespace

// --- Shared object ------------------------------------------------------------

void CSharedObject::registerTemplate(CRunTimeTemplate t) {
    CString key = t.name;
    m_templates[key] = std::move(t);
}

const CRunTimeTemplate* CSharedObject::findTemplate(const CString& name) const {
    auto it = m_templates.find(name);
    return it == m_templates.end() ? nullptr : &it->second;
}

// --- Root objects ---------------------------------------------------------------

CRootObject::CRootObject() {
    if (g_app) m_context = g_app->newRootContext();
}

CRootObject::~CRootObject() {
    destroyChildren();
    if (g_app && m_context) g_app->releaseRootContext(m_context->id);
}

// --- Application ------------------------------------------------------------------

CApplication* CApplication::instance() { return g_app; }
CSharedObject* CApplication::sharedObject() { return g_app ? g_app->m_shared.get() : nullptr; }

double kelSecondsSinceStart() { return g_timeBase ? plat::perfSeconds(g_timeBase, plat::perfCounter()) : 0.0; }
double CApplication::secondsSinceStart() const { return plat::perfSeconds(m_timeBase, plat::perfCounter()); }

CError CApplication::start(const StartOptions& options) {
    if (g_app) finish();
    // Time base first, so that every later timing line refers to it.
    const int64_t timeBase = plat::perfCounter();
    g_timeBase = timeBase;
    auto* app = new CApplication();
    app->m_timeBase = timeBase;
    // The module's own path and folder.
    static const int kAnchor = 0;
    std::string path = plat::moduleFilePath(options.moduleAddress ? options.moduleAddress : &kAnchor);
    for (char& c : path)
        if (c == '\\') c = '/';
    app->m_modulePath = CString(path);
    size_t slash = path.rfind('/');
    app->m_moduleFolder = CString(slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
    g_app = app;
    if (CError e = app->init(options)) {
        CError err = KEL_PASS(e);
        finish();
        CAppErrorWindow::show(err);
        return err;
    }
    return {};
}

CError CApplication::init(const StartOptions& options) {
    kelLog("Initializing application...");
    // The creator table comes before any definition, the resource map before
    // "SharedData.xml" is opened.
    KEL_TRY(CreatorRegistry::registerTable(options.creators.empty() ? kelCoreCreatorRows() : options.creators));
    ResourceMap::fill(options.resources ? options.resources : g_kelResourceTable);
    KEL_TRY(initSharedObject(options.sharedDefinition ? CString(options.sharedDefinition) : CString()));
    // Once the identity is known, log lines carry the application's name.
    if (CObject* project = m_shared->findChild("project")) {
        CString full = project->attr("app-full-name");
        if (!full.empty()) kelSetLogAppName(full.utf8());
    }
    return {};
}

void CApplication::finish() {
    if (!g_app) return;
    kelLog("Finalizing application...");
    CApplication* app = g_app;
    app->m_shared.reset();  // the shared tree, while "shared::" still resolves to nothing new
    g_app = nullptr;
    delete app;
    CreatorRegistry::clear();
    ResourceMap::clear();
    kelSetLogAppName({});
}

CError CApplication::initSharedObject(const CString& definitionName) {
    if (m_shared) return KEL_ERROR(kelstr_CApplication_initSharedObject);
    m_shared = std::make_unique<CSharedObject>();
    m_shared->setTag("core:object");
    m_shared->setClassRecord(CreatorRegistry::findRecord("core:object"));
    if (!definitionName.empty()) {
        KEL_TRY(m_shared->loadXMLData(definitionName));
    } else {
        KEL_TRY(m_shared->initTree());
    }
    return {};
}

CError CApplication::initRootObject(const CString& definitionName, std::unique_ptr<CRootObject>* out) {
    if (!m_shared) return KEL_ERROR(kelstr_CApplication_initRootObject);
    auto root = std::make_unique<CRootObject>();
    root->setTag("core:object");
    root->setClassRecord(CreatorRegistry::findRecord("core:object"));
    if (!definitionName.empty()) {
        KEL_TRY(root->loadXMLData(definitionName));
    } else {
        KEL_TRY(root->initTree());
    }
    *out = std::move(root);
    return {};
}

std::shared_ptr<CRootContext> CApplication::newRootContext() {
    plat::CLock g(m_contextLock);
    auto ctx = std::make_shared<CRootContext>();
    ctx->id = m_nextContextId++;
    m_contexts[ctx->id] = ctx;
    return ctx;
}

void CApplication::releaseRootContext(uint32_t id) {
    plat::CLock g(m_contextLock);
    m_contexts.erase(id);
}

size_t CApplication::rootContextCount() {
    plat::CLock g(m_contextLock);
    return m_contexts.size();
}
