#pragma once
// Creator rows of the preset manager, the preset selectors, the history,
// the A/B controls and the file dialog.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiPresetCreatorRows();
