#pragma once
// Creator rows of decorations: shadows.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiDecorCreatorRows();
