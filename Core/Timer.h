#pragma once
#include "Core/Object.h"

// core:timer -- periodic "tick" events. (Stub; completed with the timers.)
class CTimerQueued : public CObject {
public:
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }
};
