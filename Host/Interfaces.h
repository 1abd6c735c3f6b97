#pragma once
// What the host's objects share: answering queryInterface for FUnknown and
// the one interface an object implements, and asking a plug-in object for
// another of its interfaces.

#include "pluginterfaces/base/funknown.h"

namespace host {

// Sets *obj to self for FUnknown and for iid of Interface.
template <class Interface>
Steinberg::tresult answerQuery(Interface* self, const Steinberg::TUID iid, void** obj) {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown::iid) ||
        Steinberg::FUnknownPrivate::iidEqual(iid, Interface::iid)) {
        *obj = self;
        return Steinberg::kResultOk;
    }
    *obj = nullptr;
    return Steinberg::kNoInterface;
}

// The interface T of an object (its reference to be released), or null.
template <class T>
T* queryFrom(Steinberg::FUnknown* from) {
    void* p = nullptr;
    if (!from || from->queryInterface(T::iid, &p) != Steinberg::kResultOk) return nullptr;
    return static_cast<T*>(p);
}

}  // namespace host
