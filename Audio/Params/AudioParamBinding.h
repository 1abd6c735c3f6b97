#pragma once
// Objects of the instance template that refer to runtime parameters by name
// (registries, host parameters, the controller table, shared storages) are
// initialised before the process graph creates those parameters. Each binds
// its names once the graph exists: the plug-in core calls
// kelBindParamObjects on the instance root after building the graph. Binding
// may run again (it starts over); every such object also binds on its first
// use when nobody did.

#include "Core/Error.h"

class CObject;

class CAudioParamBindable {
public:
    virtual ~CAudioParamBindable() = default;
    virtual CError bindParams() = 0;
};

// Binds every bindable object of the subtree (parents before children, in
// tree order); stops at the first error.
CError kelBindParamObjects(CObject& root);
