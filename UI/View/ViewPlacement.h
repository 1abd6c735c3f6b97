#pragma once
// CViewBasePlacement: the placement record of a view, filled from its
// attributes. Each placement attribute is applied by its own virtual
// operation (a derived control may override one); the table below gives
// the slot order in which a definition's attributes are applied. A failing
// operation leaves the record as it was.
//
// Lengths are kept in logical pixels; the layout multiplies them by the
// window's total scale, so a scale change re-applies them.

#include <optional>
#include <span>

#include "Core/Error.h"
#include "Core/String.h"
#include "UI/View/BorderList.h"

KELSTR(CViewBasePlacement_attrPlacement_InvalidMatch, "Invalid match '%1'.");
KELSTR(CViewBasePlacement_attrPlacement_InvalidPlacement, "Invalid placement '%1'.");
KELSTR(CViewBasePlacement_attrPlacement_NotScrollable,
       "Invalid placement %1, parent view does not support scrolling");
KELSTR(CViewBasePlacement_attrAlignmentH_InvalidAlignmentH, "Invalid alignment-h '%1'.");
KELSTR(CViewBasePlacement_attrAlignmentV_InvalidAlignmentV, "Invalid alignment-v '%1'.");
KELSTR(CViewBasePlacement_attrInlineAlignmentH_InvalidAlignment, "Invalid inline-alignment-h '%1'.");
KELSTR(CViewBasePlacement_attrInlineAlignmentV_InvalidAlignment, "Invalid inline-alignment-v '%1'.");
KELSTR(CViewBasePlacement_attrValue_Invalid, "Invalid value '%1' of attribute '%2'.");

// "placement" values, codes 1 to 12 in this order.
enum class EPlacement : int {
    Inline = 1, Full, Top, Bottom, Left, Right, Overlay, WindowOverlay, Match, ScrollerH, ScrollerV, ScrollerP
};
// Alignment along an axis: left/top, center, right/bottom; None when unset.
enum class EAlign : uint8_t { None, Start, Center, End };

// A size rule along one axis.
struct CSizeRule {
    enum Kind : uint8_t { Fixed, Percent, Compact, Full, Balanced, FullCompact, FullSimple };
    Kind kind = Compact;
    double value = 0;  // Fixed: logical pixels; Percent: the share (0.5 for "50%")
    bool growing() const { return kind >= Full; }
    static bool parse(const CString& text, CSizeRule* out);
};

// A lower or upper bound of a size.
struct CSizeBound {
    enum Kind : uint8_t { None, Fixed, Percent, Compact };
    Kind kind = None;
    double value = 0;
    static bool parse(const CString& text, bool allowCompact, CSizeBound* out);
};

class CViewBasePlacement {
public:
    virtual ~CViewBasePlacement() = default;

    // --- The attribute operations, in slot order -----------------------------
    virtual CError attrAlignmentH(const CString& v);
    virtual CError attrAlignmentV(const CString& v);
    virtual CError attrCompactWidth(const CString& v);
    virtual CError attrCompactHeight(const CString& v);
    virtual CError attrDrawOpacity(const CString& v);
    virtual CError attrInlineAlignmentH(const CString& v);
    virtual CError attrInlineAlignmentV(const CString& v);
    virtual CError attrInnerBorder(const CString& v);
    virtual CError attrIsDisabled(const CString& v);
    virtual CError attrIsHidden(const CString& v);
    virtual CError attrIsInlineVertical(const CString& v);
    virtual CError attrIsNewInlineRow(const CString& v);
    virtual CError attrIsVisible(const CString& v);
    virtual CError attrMaxWidth(const CString& v);
    virtual CError attrMaxHeight(const CString& v);
    virtual CError attrMinRatioX(const CString& v);
    virtual CError attrMinRatioY(const CString& v);
    virtual CError attrMinWidth(const CString& v);
    virtual CError attrMinHeight(const CString& v);
    virtual CError attrOffsetX(const CString& v);
    virtual CError attrOffsetY(const CString& v);
    virtual CError attrOpacity(const CString& v);
    virtual CError attrOuterBorder(const CString& v);
    virtual CError attrPlacement(const CString& v);
    virtual CError attrRatioX(const CString& v);
    virtual CError attrRatioY(const CString& v);
    virtual CError attrScrollerWidth(const CString& v);
    virtual CError attrScrollerHeight(const CString& v);
    virtual CError attrSpread(const CString& v);
    virtual CError attrWidth(const CString& v);
    virtual CError attrHeight(const CString& v);

    struct Slot {
        const char* name;
        CError (CViewBasePlacement::*apply)(const CString&);
    };
    static std::span<const Slot> slots();
    // The slot of an attribute name, or nullptr.
    static const Slot* findSlot(const CString& name);

    // --- The record ------------------------------------------------------------
    EPlacement placement() const { return m_placement; }
    const CSizeRule& sizeRule(int axis) const { return m_size[axis]; }
    const CSizeBound& minBound(int axis) const { return m_min[axis]; }
    const CSizeBound& maxBound(int axis) const { return m_max[axis]; }
    const std::optional<double>& compactFixed(int axis) const { return m_compact[axis]; }
    double ratio(int axis) const { return m_ratio[axis]; }
    double minRatio(int axis) const { return m_minRatio[axis]; }
    double offset(int axis) const { return m_offset[axis]; }
    EAlign alignment(int axis) const { return m_align[axis]; }
    EAlign inlineAlignment(int axis) const { return m_inlineAlign[axis]; }
    double scrollerSize(int axis) const { return m_scroller[axis]; }
    bool isNewInlineRow() const { return m_newInlineRow; }
    bool isInlineVertical() const { return m_inlineVertical; }
    bool isHidden() const { return m_hidden; }
    bool isDisabled() const { return m_disabled; }
    double opacity() const { return m_opacity; }
    double drawOpacity() const { return m_drawOpacity; }
    const CBorderList& innerBorder() const { return m_innerBorder; }
    const CBorderList& outerBorder() const { return m_outerBorder; }
    const CBorderList& spread() const { return m_spread; }

protected:
    // What the operations need from the view that owns the record.
    virtual bool placementMatchExists() const = 0;
    virtual bool parentIsScrollable() const = 0;
    // Logs a bad border token ("Invalid border syntax: '%s' (N)").
    virtual void logBorderError(const CString& token, int kind) const = 0;

private:
    CError setAlign(EAlign* field, const CString& v, bool vertical, const char* message);
    CError setBorder(CBorderList* field, const CString& v);
    CError setNumber(double* field, const CString& v, const char* attrName, double def);
    CError setBool(bool* field, const CString& v, const char* attrName);
    CError setSize(int axis, const CString& v, const char* attrName);
    CError setBound(CSizeBound* field, const CString& v, bool allowCompact, const char* attrName);
    CError setCompact(int axis, const CString& v, const char* attrName);
    CError setOpacity(double* field, const CString& v, const char* attrName, bool percent);

    EPlacement m_placement = EPlacement::Inline;
    CSizeRule m_size[2];
    CSizeBound m_min[2], m_max[2];
    std::optional<double> m_compact[2];
    double m_ratio[2] = {1, 1};
    double m_minRatio[2] = {0, 0};
    double m_offset[2] = {0, 0};
    EAlign m_align[2] = {EAlign::None, EAlign::None};
    EAlign m_inlineAlign[2] = {EAlign::None, EAlign::None};
    double m_scroller[2] = {0, 0};
    bool m_newInlineRow = false;
    bool m_inlineVertical = false;
    bool m_hidden = false;
    bool m_disabled = false;
    double m_opacity = 1.0;
    double m_drawOpacity = 1.0;
    CBorderList m_innerBorder, m_outerBorder, m_spread;
};
