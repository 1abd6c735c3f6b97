#pragma once
// Selectors of the editor's settings: a text view that steps through a list
// of choices and keeps the chosen one in a setting (normally a
// core:shared-attribute, so that it is stored with the editor's data).
//
// CSelectorSharedAttr (tag "ui:selector-shared-attr"): "shared-attribute"
// is the path of the object holding the setting; "attr" names its attribute
// (default: the kept attribute of a core:shared-attribute, else "value").
// "choices" lists the values, blank-separated; "titles" their captions,
// separated by "|" (default: the values themselves). A click selects the
// next choice, the right button or Shift-click the previous one, the wheel
// one per notch; the list does not wrap. "select" with "value" (or
// "index") picks a choice directly. A stored value that is not among the
// choices selects the nearest number, or shows the value itself. The view
// shows the caption of the current choice and follows "update" of a shared
// attribute written elsewhere. Notifies "selection-change" with "value".
//
// CSelectorScale (tag "ui:selector-scale"): the editor's scale. Choices
// default to 0.8 to 2.0, captions to percentages; the setting defaults to
// "ui.local-data.ui-scale2" (the scale used relative to the screen
// resolution), or "ui.local-data.ui-scale" when the object
// "ui.local-data.ui-scale-usesr" holds "false" or "0". Every window of the
// editor takes the new scale at once (the same attribute of its renderer,
// then "update-window-scale"); a scale given by the host still wins.
//
// CSelectorFps (tag "ui:selector-fps"): the update rate of meters and
// animations. Choices default to 15 to 60 frames per second, captions to
// "N fps"; the setting defaults to "ui.global-data.frames-per-second".
// After a change the global settings object ("ui.global-settings"), when
// present, gets the new rate too.

#include <vector>

#include "UI/Text/TextView.h"

KELSTR(CSelectorSharedAttr_init_NoChoices, "Selector '%1' has no choices.");
KELSTR(CSelectorSharedAttr_select_BadValue, "'%1' is not a choice of selector '%2'.");

class CSelectorSharedAttr : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;

    // The index of the current choice (-1 when the stored value is none).
    int index() const { return m_index; }
    size_t choiceCount() const { return m_choices.size(); }
    const CString& choice(size_t i) const { return m_choices[i]; }
    const CString& title(size_t i) const { return m_titles[i]; }
    // The stored value.
    CString value() const;
    CObject* target() const { return m_target; }

    // Moves `steps` choices (clamped at the ends).
    CError step(int steps);
    // Selects a choice; a value that is not a choice is refused.
    CError selectValue(const CString& v);
    CError selectIndex(size_t i);

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;
    // What derived selectors supply when the definition leaves it out.
    virtual CString defaultChoices() const { return {}; }
    virtual CString defaultTarget() const { return {}; }
    virtual CString defaultTitle(const CString& choice) const { return choice; }
    // Called after the setting took a new value.
    virtual CError applied(const CString&) { return {}; }

private:
    CError refresh();
    int indexOf(const CString& v) const;

    std::vector<CString> m_choices;
    std::vector<CString> m_titles;
    CObject* m_target = nullptr;
    CString m_attr;
    int m_index = -1;
};

class CSelectorScale : public CSelectorSharedAttr {
public:
    static void registerEvents(CClassRecord& record) { CSelectorSharedAttr::registerEvents(record); }

protected:
    CString defaultChoices() const override;
    CString defaultTarget() const override;
    CString defaultTitle(const CString& choice) const override;
    CError applied(const CString& v) override;
};

class CSelectorFps : public CSelectorSharedAttr {
public:
    static void registerEvents(CClassRecord& record) { CSelectorSharedAttr::registerEvents(record); }

protected:
    CString defaultChoices() const override { return "15 20 25 30 40 50 60"; }
    CString defaultTarget() const override { return "ui.global-data.frames-per-second"; }
    CString defaultTitle(const CString& choice) const override;
    CError applied(const CString& v) override;
};
