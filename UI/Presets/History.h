#pragma once
// CHistory (tag "ui:history"): the undo history of the plug-in instance.
// It shows the entries of the audio side's history in ".history-list"
// (the current one selected) and moves the position through the interface
// client: "undo-clicked" one entry back, "redo-clicked" one forward,
// "history-change" ("index") or a selection in the list to that entry.
// ".button-undo" and ".button-redo" are disabled at the ends of the
// history; "select-clicked" shows or hides the list (".button-select"
// runs it). The history follows the client's "undo-history-changed".
//
// Attributes: "interface-client" ("ui.interface-client"),
// "is-log-enabled" (log each move with the entry's text).

#include "UI/View/View.h"

class CItemList;
class CParamInterfaceClient;

class CHistory : public CView {
public:
    ~CHistory() override;
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;

    CError undo();
    CError redo();
    CError moveTo(int index);
    CError update();
    CItemList* list() const { return m_list; }
    int position() const { return m_position; }

private:
    CParamInterfaceClient* m_client = nullptr;
    CItemList* m_list = nullptr;
    int m_position = 0;  // the history's position, or where the last move went
    bool m_updating = false;
};
