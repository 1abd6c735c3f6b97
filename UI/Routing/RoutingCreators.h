#pragma once
// Creator rows of the channel routing views: the routing selectors and the
// compact channel-group selector.
#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> uiRoutingCreatorRows();
