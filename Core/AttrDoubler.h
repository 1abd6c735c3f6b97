#pragma once
#include "Core/Object.h"

// core:attr-doubler -- copies its "value" to attribute "attr" of every object
// named in "target". (Stub; completed with the notification work.)
class CAttrDoubler : public CObject {
public:
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }
};
