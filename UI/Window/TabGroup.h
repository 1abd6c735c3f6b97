#pragma once
// Tab groups: the views of one window that share a "tab-group" name, which
// Tab and Shift+Tab walk in the order of the view tree, and the keys that
// reach a focused member that edits no text.
//
// The members are listed, in tree order, in the helper list
// ".tab-group-value-list-" + name under the window renderer (made again for
// each move: views come and go with pop-ups and dynamic lists).

#include "Core/Error.h"

class CEventParams;
class CView;

// The next (or previous) shown, unblocked member of the view's group,
// wrapping; null without a group or another member.
CView* kelTabNeighbour(CView& from, bool forward);

// A key press on the focused member of a tab group that edits no text, after
// the view's own handling, which may decide a key by setting "is-handled"
// ("true": it used the key; "false": nobody uses it, the host keeps it):
// Tab and Shift+Tab move the focus through the group, Space and Enter click
// the view (a left press and release at its centre), Escape gives the focus
// up so that the keys are the host's again. A key used here is marked
// "is-handled" "true".
CError kelTabGroupKey(CView& view, CEventParams& params);
