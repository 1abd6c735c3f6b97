#pragma once
// The creator rows of the editor's panels: titled frames, control arrays,
// pictures, the hint line and the "ui" event bridge.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiPanelCreatorRows();
