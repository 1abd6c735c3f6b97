#pragma once
// CProductShot: the product's editor document drawn without a window, on a
// real in-process instance. The instance is built from the embedded product
// definitions (default preset, 44.1 kHz stereo); the document is loaded as
// the editor loads it, except that the window data needs no display (the
// opener builds pop-ups without windows) and the update timers are left out,
// so that nothing changes between two pictures. The main window, or one
// pop-up template opened from its title bar, is rendered into its back buffer.
//
// The application must be running with the product's shared definitions.

#include <memory>
#include <string>
#include <string_view>

#include "Core/Object.h"
#include "Other/ImageDraw.h"

class CAudioWrapper;
class CParamInterfaceUniClientConnector;
class CWindowRenderer;

class CProductShot {
public:
    CProductShot();
    ~CProductShot();
    CProductShot(const CProductShot&) = delete;
    CProductShot& operator=(const CProductShot&) = delete;

    // Builds the instance and loads the document's XML at a scale.
    CError open(std::string_view documentXml, const std::string& sourceName, double scale);
    // Opens a pop-up window template ("ui:win-settings"); the pictures are
    // then of its window. Unknown templates are refused.
    CError openWindow(const std::string& templateName);
    // "param BRIDGE VALUE": sets a parameter through a bridge of "ui" (its
    // value as the document's controls hand it over) and waits for the
    // instance's answer.
    CError apply(const std::string& action);
    CError render();
    const CBitmap32& image() const;
    CWindowRenderer* renderer() const { return m_renderer; }

    // The document text without what needs a display.
    static std::string windowlessText(std::string text);

private:
    void pump();
    std::unique_ptr<CAudioWrapper> m_instance;
    std::unique_ptr<CObject> m_root;
    CParamInterfaceUniClientConnector* m_connector = nullptr;
    CWindowRenderer* m_renderer = nullptr;
};
