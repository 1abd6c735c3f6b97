#pragma once
// Creator rows of the parameter registries and the objects around them:
// registries, shared storages, host parameters and the controller table.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> audioRegistryCreatorRows();
