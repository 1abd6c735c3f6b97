#pragma once
// Creator rows of the pop-up lists.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiListCreatorRows();
