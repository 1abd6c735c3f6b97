#pragma once
// CScreenshotSaver (tag "ui:screenshot-saver", under the window shared
// data): on "take-screenshot" ("window": a renderer's full name, default
// the main window) the window is drawn again sector by sector into its back
// buffer, encoded as PNG and offered on the clipboard (on X11 the CLIPBOARD
// selection, as "image/png") and written to a file "<text>.png" in "folder"
// (default: the home folder), where <text> is "title" + " Screenshot " +
// the colour scheme's name ("color-scheme", default "Gray"). Then the text
// is logged, "notification-text" is set to it and "screenshot-taken" is
// notified with "file". A clipboard the system refuses skips the copy.

#include <cstdint>
#include <string>
#include <vector>

#include "Core/Object.h"
#include "Other/ImageDraw.h"

KELSTR(CScreenshotSaver_take_NoWindow, "No window '%1' to take a screenshot of.");
KELSTR(CScreenshotSaver_take_WriteError, "Unable to write the screenshot '%1'.");

// An opaque RGB PNG of a 32-bit image (stored deflate blocks through zlib).
std::vector<uint8_t> kelEncodePng(const CBitmap32& image);

class CScreenshotSaver : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError takeScreenshot(const CString& windowName);
    const std::string& lastFile() const { return m_lastFile; }

private:
    std::string m_lastFile;
};
