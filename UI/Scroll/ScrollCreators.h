#pragma once
// Creator rows of scrolling: scroll bars, the pan corner and the version
// history list.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiScrollCreatorRows();
