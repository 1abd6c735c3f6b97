#pragma once
// Creator rows of the meters.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiMeterCreatorRows();
