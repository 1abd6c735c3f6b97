// The windowless editor root of tamblor-uishot and the golden-image tests.
#include "Tools/UiShot/UiShot.h"

#include <cstdio>
#include <sstream>

#include "Core/XMLData.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"

KELSTR(CUiShot_load_Compile, "%1");
KELSTR(CUiShot_load_NoRenderer, "No window renderer in the document.");
KELSTR(CUiShot_apply_BadAction, "Invalid action '%1'.");
KELSTR(CUiShot_apply_NoObject, "Object '%1' not found.");

std::string kelUiShotAssets() {
    static const char* const kFonts[] = {"base_b", "base", "compact", "micro", "micro-sm", "small", "title"};
    static const char* const kSets[] = {"button",  "buttonab",  "checkbox", "colorpicker", "csurface", "csurfacebg",
                                        "editbox", "frame",     "framex1",  "framex2",     "groupcaption",
                                        "instancename", "knob3", "knob",    "levelmeter",  "multichange", "popup2",
                                        "popup",   "ruler",     "scroller", "shadow",      "shadowhard", "shadowknob",
                                        "statusbar", "texture", "vendorlogo", "winresize"};
    std::string s = "<core:object name=\"font\">";
    for (const char* f : kFonts) s += std::string("<font name=\"") + f + "\" file=\"../../../Gfx/Fonts/" + f + ".fnt\"/>";
    s += "</core:object><core:object name=\"is\">";
    for (const char* i : kSets) s += std::string("<imageset name=\"") + i + "\" file=\"../../../Gfx/Imagesets/" + i + ".is\"/>";
    s += "</core:object><ui:dynamic-palette name=\"palette\"/>";
    return s;
}

CUiShot::CUiShot() = default;
CUiShot::~CUiShot() = default;

CError CUiShot::prepare(const Options& options) {
    m_renderer = nullptr;
    m_root = std::make_unique<CObject>();
    KEL_TRY(m_root->setAttr("VisualScale", CString::number(options.scale), false));
    if (options.assets) {
        std::vector<uint8_t> doc;
        std::string err;
        if (!CDefCompiler::compileXml("<definitions>" + kelUiShotAssets() + "</definitions>", "assets", &doc, &err))
            return KEL_ERROR(kelstr_CUiShot_load_Compile, CString(err));
        KEL_TRY(kelLoadCompiledDefinition(m_root.get(), doc));
    }
    return {};
}

CError CUiShot::finish(const Options& options) {
    m_renderer = dynamic_cast<CWindowRenderer*>(m_root->findObject("ui.main-window.window-renderer"));
    if (!m_renderer) {
        std::vector<CObject*> stack{m_root.get()};
        while (!stack.empty() && !m_renderer) {
            CObject* o = stack.back();
            stack.pop_back();
            m_renderer = dynamic_cast<CWindowRenderer*>(o);
            for (auto it = o->children().rbegin(); it != o->children().rend(); ++it) stack.push_back(it->get());
        }
    }
    if (!m_renderer) return KEL_ERROR(kelstr_CUiShot_load_NoRenderer);
    if (options.workers >= 0) m_renderer->setWorkerCount(options.workers);
    return {};
}

CError CUiShot::loadXml(std::string_view xml, const std::string& sourceName, const Options& options) {
    std::vector<uint8_t> doc;
    std::string err;
    if (!CDefCompiler::compileXml(xml, sourceName, &doc, &err)) return KEL_ERROR(kelstr_CUiShot_load_Compile, CString(err));
    return loadCompiled(doc, options);
}

CError CUiShot::loadCompiled(std::span<const uint8_t> document, const Options& options) {
    KEL_TRY(prepare(options));
    KEL_TRY(kelLoadCompiledDefinition(m_root.get(), document));
    return finish(options);
}

CError CUiShot::apply(const std::string& action) {
    std::istringstream in(action);
    std::string verb, path, name, value;
    in >> verb;
    auto view = [&](const std::string& p, CView** out) -> CError {
        *out = dynamic_cast<CView*>(m_root->findObject(CString(p)));
        if (!*out) return KEL_ERROR(kelstr_CUiShot_apply_NoObject, CString(p));
        return {};
    };
    if (verb.empty()) return {};
    if (verb == "state" || verb == "unset") {
        in >> path >> name;
        CView* v;
        KEL_TRY(view(path, &v));
        return verb == "state" ? v->setState(CString(name)) : v->unsetState(CString(name));
    }
    if (verb == "attr") {
        in >> path >> name;
        std::getline(in >> std::ws, value);
        CObject* o = m_root->findObject(CString(path));
        if (!o) return KEL_ERROR(kelstr_CUiShot_apply_NoObject, CString(path));
        return o->setAttr(CString(name), CString(value));
    }
    if (verb == "event") {
        in >> path >> name;
        CObject* o = m_root->findObject(CString(path));
        if (!o) return KEL_ERROR(kelstr_CUiShot_apply_NoObject, CString(path));
        return o->runEvent(CString(name));
    }
    double x = 0, y = 0;
    if (!(in >> x >> y)) return KEL_ERROR(kelstr_CUiShot_apply_BadAction, CString(action));
    CEventParams p{{"x", CString::number(x)}, {"y", CString::number(y)}};
    if (verb == "move") return m_renderer->runEvent("mouse-move", p);
    if (verb == "press" || verb == "release") {
        p.set("button", CString::number(int64_t('L')));
        p.set("is-button-down", verb == "press" ? "true" : "false");
        return m_renderer->runEvent("mouse-button", p);
    }
    return KEL_ERROR(kelstr_CUiShot_apply_BadAction, CString(action));
}

CError CUiShot::applyDocumentActions() {
    CObject* holder = m_root->findChild("uishot");
    if (!holder) return {};
    for (const CString& a : splitString(holder->attr("actions"), u';')) KEL_TRY(apply(a.trimmed().utf8()));
    return {};
}

CError CUiShot::render() { return m_renderer->render(); }

std::string CUiShot::dumpGeometry() const {
    std::string out;
    char line[256];
    auto dump = [&](auto& self, const CView& v, const std::string& indent) -> void {
        const CViewArea& a = v.area();
        const CBorder in = v.innerBorder().evaluate(m_renderer->totalScale());
        const CBorder ob = v.outerBorder().evaluate(m_renderer->totalScale());
        out += indent + v.name().utf8() + "\n";
        std::snprintf(line, sizeof line, "%s* COMPACT-SIZE: %.1f %.1f (AUTO %i %i)\n", indent.c_str(), a.compact[0],
                      a.compact[1], int(a.compactAuto[0]), int(a.compactAuto[1]));
        out += line;
        std::snprintf(line, sizeof line, "%s* CLIP-AREA: %.1f %.1f %.1f %.1f\n", indent.c_str(), a.clip.x, a.clip.y,
                      a.clip.w, a.clip.h);
        out += line;
        std::snprintf(line, sizeof line, "%s* INNER-BORDER: %.1f %.1f %.1f %.1f\n", indent.c_str(), in.l, in.t, in.r, in.b);
        out += line;
        std::snprintf(line, sizeof line, "%s* OUTER-BORDER: %.1f %.1f %.1f %.1f\n", indent.c_str(), ob.l, ob.t, ob.r, ob.b);
        out += line;
        std::snprintf(line, sizeof line, "%s* PLACEMENT: %.1f %.1f %.1f %.1f\n", indent.c_str(), a.total.x, a.total.y,
                      a.total.w, a.total.h);
        out += line;
        for (CView* c : v.childViews()) self(self, *c, indent + "  ");
    };
    if (m_renderer && m_renderer->rootView()) dump(dump, *m_renderer->rootView(), "");
    return out;
}

const CBitmap32& CUiShot::image() const { return m_renderer->backBuffer(); }
