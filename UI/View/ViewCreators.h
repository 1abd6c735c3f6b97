#pragma once
// The creator rows of the editor's view classes: views, view states and
// commands, the window renderer and the text views.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiViewCreatorRows();
