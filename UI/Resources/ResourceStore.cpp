// The store of decoded graphics resources.
#include "UI/Resources/ResourceStore.h"

#include <map>

#include "Core/Resources.h"
#include "Platform/Sync.h"

namespace {
struct Store {
    plat::CCritSec lock;
    std::map<CString, std::shared_ptr<const CImageSet>> sets;
    std::map<CString, std::shared_ptr<const CFont>> fonts;
};
Store& store() {
    static Store s;
    return s;
}

template <class T>
CError load(std::map<CString, std::shared_ptr<const T>>& cache, const CString& name, std::shared_ptr<const T>* out) {
    plat::CLock g(store().lock);
    auto it = cache.find(name);
    if (it != cache.end()) {
        *out = it->second;
        return {};
    }
    CResourceReader reader;
    KEL_TRY(reader.open(name));
    auto value = std::make_shared<T>();
    // Embedded data lives as long as the program: pixels stay in place.
    if (CError e = value->load(reader.stream(), reader.isEmbedded()))
        return addError(std::move(e), __FILE__, __LINE__, name, {});
    *out = cache.emplace(name, std::move(value)).first->second;
    return {};
}
}  // namespace

namespace UIResources {

CError imageSet(const CString& resourceName, std::shared_ptr<const CImageSet>* out) {
    return load(store().sets, resourceName, out);
}

CError font(const CString& resourceName, std::shared_ptr<const CFont>* out) {
    return load(store().fonts, resourceName, out);
}

CError loadAll(size_t* count) {
    size_t n = 0;
    for (const CString& name : ResourceMap::names()) {
        const std::string s = name.utf8();
        if (s.rfind(kEmbeddedOnlyPrefix, 0) != 0) continue;
        if (s.size() > 4 && s.compare(s.size() - 4, 4, ".fnt") == 0) {
            std::shared_ptr<const CFont> f;
            KEL_TRY(font(name, &f));
            ++n;
        } else if (s.size() > 3 && s.compare(s.size() - 3, 3, ".is") == 0) {
            std::shared_ptr<const CImageSet> set;
            KEL_TRY(imageSet(name, &set));
            ++n;
        }
    }
    if (count) *count = n;
    return {};
}

void clear() {
    plat::CLock g(store().lock);
    store().sets.clear();
    store().fonts.clear();
}

}  // namespace UIResources
