#include "Audio/Params/AudioParamBinding.h"

#include "Core/Object.h"

CError kelBindParamObjects(CObject& root) {
    if (auto* b = dynamic_cast<CAudioParamBindable*>(&root)) KEL_TRY(b->bindParams());
    for (const auto& child : root.children()) KEL_TRY(kelBindParamObjects(*child));
    return {};
}
