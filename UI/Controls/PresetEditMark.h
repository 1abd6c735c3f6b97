#pragma once
// CPresetEditMark (tag "ui:preset-edit-mark"): shows in a preset's name that
// the values it brought were edited. It hears the bridges of "bridges"
// (blank-separated paths, e.g. every parameter of the limiter's mode) and,
// when this editor changes one of them in a channel group, appends "mark"
// (" *") to that group's name in the text parameter of "name-bridge" unless
// the name already ends with it. A preset activated later writes its own
// name, without the mark; changes that arrive from elsewhere (presets,
// undo, the host) mark nothing. A mark made during a gesture (a knob's drag)
// joins its undo step.
//
// UI thread only.

#include <vector>

#include "Core/Object.h"

KELSTR(CPresetEditMark_initLinks_NoBridge, "Preset edit mark without a name bridge.");

class CParamBridge;

class CPresetEditMark : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    // Marks the name of a group (no change when it is marked already), as
    // part of the gesture `undoId` when that is not 0.
    CError markGroup(uint32_t group, uint32_t undoId = 0);
    CString mark() const;

private:
    CParamBridge* m_name = nullptr;
};
