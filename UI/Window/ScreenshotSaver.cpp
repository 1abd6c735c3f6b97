// Screenshots of the editor's windows: PNG on the clipboard and in a file.
#include "UI/Window/ScreenshotSaver.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include "Core/Log.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Window/WindowSharedData.h"

namespace {
void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}
}  // namespace

std::vector<uint8_t> kelEncodePng(const CBitmap32& image) {
    const int w = image.width, h = image.height;
    if (w <= 0 || h <= 0) return {};
    std::vector<uint8_t> raw;
    raw.reserve(size_t(h) * (size_t(w) * 3 + 1));
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < w; ++x) {
            const uint32_t p = image.pixels[size_t(y) * size_t(w) + size_t(x)];
            raw.push_back(uint8_t(p >> 16)), raw.push_back(uint8_t(p >> 8)), raw.push_back(uint8_t(p));
        }
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 6) != Z_OK) return {};
    packed.resize(packedSize);
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    put32(header, uint32_t(w)), put32(header, uint32_t(h));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}

void CScreenshotSaver::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("take-screenshot", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CScreenshotSaver*>(o)->takeScreenshot(p.get("window").trimmed());
    });
}

CError CScreenshotSaver::takeScreenshot(const CString& windowName) {
    auto* shared = dynamic_cast<CWindowSharedData*>(root()->findObject("ui.window-shared-data"));
    CWindowRenderer* r = nullptr;
    if (!windowName.empty()) r = dynamic_cast<CWindowRenderer*>(root()->findObject(windowName));
    else if (shared) r = shared->mainWindow();
    if (!r) return KEL_ERROR(kelstr_CScreenshotSaver_take_NoWindow, windowName);
    // Every sector drawn again: the picture does not depend on what was dirty.
    r->invalidateAll();
    KEL_TRY(r->render());
    const std::vector<uint8_t> png = kelEncodePng(r->backBuffer());
    if (shared && shared->display() && !shared->display()->setClipboardPng(png))
        kelLog("The clipboard refused the screenshot.");
    const CString scheme = hasAttr("color-scheme") ? attr("color-scheme") : CString("Gray");
    const CString text = attr("title") + CString(" Screenshot ") + scheme;
    std::string folder = attr("folder").trimmed().utf8();
    if (folder.empty()) {
        const char* home = std::getenv("HOME");
        folder = home ? home : ".";
    }
    const std::string file = folder + "/" + text.trimmed().utf8() + ".png";
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f || std::fwrite(png.data(), 1, png.size(), f) != png.size()) {
        if (f) std::fclose(f);
        return KEL_ERROR(kelstr_CScreenshotSaver_take_WriteError, CString(file));
    }
    std::fclose(f);
    m_lastFile = file;
    kelLog(text.utf8());
    KEL_TRY(setAttr("notification-text", text, false));
    CEventParams p{{"file", CString(file)}};
    return notify("screenshot-taken", p);
}
