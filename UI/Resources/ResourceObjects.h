#pragma once
// Resource objects of the definitions.
//
// CImageSetObject (tag "imageset") and CFontObject (tag "font") load an
// image set or font by the resource name in their attribute "file" (through
// the store, so once per process) and are found by object path: "is.button"
// is the image-set object "button" under the "is" node, "font.compact" the
// font "compact".
//
// An image reference names an image-set object, "#", a group and optionally
// ":" and a palette colour: "is.button#HR:Action". kelResolveImage finds the
// group's first image; an unknown group resolves to nothing (drawn as
// nothing) without an error.

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "Core/Object.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"

KELSTR(CImageSetObject_init_NoFile, "Attribute 'file' of image set '%1' is empty.");
KELSTR(CFontObject_init_NoFile, "Attribute 'file' of font '%1' is empty.");
KELSTR(CImageSetObject_resolveImage_NoSet, "Image set '%1' not found.");

class CImageSetObject : public CObject {
public:
    CError init() override;
    const CImageSet* imageSet() const { return m_set.get(); }
    static void registerEvents(CClassRecord& record);

private:
    std::shared_ptr<const CImageSet> m_set;
};

class CFontObject : public CObject {
public:
    CError init() override;
    const CFont* font() const { return m_font.get(); }
    static void registerEvents(CClassRecord& record);

private:
    std::shared_ptr<const CFont> m_font;
};

struct CImageRef {
    std::string setPath;    // "is.button"
    std::string group;      // "HR"
    std::string colorName;  // "Action" (empty: the view's colour)

    // Splits "path#group[:colour]"; false when there is no "#".
    static bool parse(std::string_view text, CImageRef* out);
};

// The image a reference names, seen from an object (its set found by path).
// *image is nullptr for an unknown group.
struct CResolvedImage {
    const CImageSet* set = nullptr;
    const CImage* image = nullptr;
    const CImageSet::Group* group = nullptr;
};
CError kelResolveImage(const CObject& from, const CImageRef& ref, CResolvedImage* out);

// The creator rows of the resource classes (tags "imageset", "font",
// "ui:dynamic-palette", "ui:dynamic-color", "ui:style").
std::span<const CreatorRow> uiResourceCreatorRows();
