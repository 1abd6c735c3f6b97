#pragma once
// The creator rows of the editor's window classes: shared window data,
// timers, opener and closer, and the window tools. Taking the rows also
// gives window renderers their system windows.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiWindowCreatorRows();
