#pragma once
// Creator rows of the visualization collector and of the meter and
// statistics modules.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> audioVizCreatorRows();
