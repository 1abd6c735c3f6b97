#pragma once
#include "Core/Object.h"

// core:shared-attribute -- keeps an attribute in an application data store.
// (Stub; completed with the data stores.)
class CSharedAttribute : public CObject {
public:
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }
};
