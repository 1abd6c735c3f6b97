#pragma once
// Creator rows of the parameter controls.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiControlCreatorRows();
