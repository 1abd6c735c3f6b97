#pragma once
// The process-wide store of decoded graphics resources. Each font and image
// set is decoded once, by resource name, from the embedded resources (their
// pages decompressed, inline pixels referenced in place) and shared by every
// editor that uses it; the store is emptied when the application finishes.
// Used on the user-interface thread; guarded anyway, since tools and tests
// load from other threads.

#include <memory>

#include "Core/Error.h"
#include "Core/String.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"

namespace UIResources {
// The decoded set or font of a resource; errors name the resource.
CError imageSet(const CString& resourceName, std::shared_ptr<const CImageSet>* out);
CError font(const CString& resourceName, std::shared_ptr<const CFont>* out);
// Decodes every font and image set of the resource map (start-up, benchmarks).
CError loadAll(size_t* count = nullptr);
void clear();
}  // namespace UIResources
