#pragma once
// Creator rows of the colour editor's views.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiColorCreatorRows();
