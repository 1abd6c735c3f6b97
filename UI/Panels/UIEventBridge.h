#pragma once
// CUIEventBridge (tag "ui:ui-event-bridge"): the "ui" object of the editor
// that holds the bridges, the shared window data and the windows.
// "mod-name" is the full name of the plug-in module the editor edits
// ("plugin.modMain.modTamblor"); paramName() completes a module-relative
// parameter name with it.
//
// Its event "bridge-event" carries an event to an object of the editor:
// "target" (a path) and "event" name it, the other parameters go with it.
// The event runs on the UI thread, after the one being handled, so a view
// may close its own window this way.

#include "Core/Object.h"

KELSTR(CUIEventBridge_bridgeEvent_NoTarget, "Event bridge target '%1' not found.");
KELSTR(CUIEventBridge_bridgeEvent_NoEvent, "Event bridge without an event name.");

class CUIEventBridge : public CObject {
public:
    static void registerEvents(CClassRecord& record);

    const CString modName() const { return attr("mod-name").trimmed(); }
    // "release" -> "plugin.modMain.modTamblor.release"; a name that starts
    // with "plugin." is already full.
    CString paramName(const CString& relative) const;
    CError bridgeEvent(CEventParams& params);
};
