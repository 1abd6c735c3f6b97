#pragma once
// Creator rows of the filter generators, the filter modules and the
// resampling modules.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> audioFilterCreatorRows();
