// Creator rows of decorations.
#include "UI/Decor/DecorCreators.h"

#include "UI/Decor/Shadow.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiDecorCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:shadow", &make<CShadow>, &CShadow::registerEvents},
    };
    return rows;
}
