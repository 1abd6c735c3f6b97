#pragma once
// Creator rows of the settings pop-ups' classes: selectors of stored
// settings and push buttons.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiSettingsCreatorRows();
