#pragma once
// Creator rows of the parameter classes: declarations, converters, the
// collector and the small parameter helpers.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> audioParamCreatorRows();
