#pragma once
// The static creator table of the product: every registered tag with its
// creator and event-registration function, in registration order.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> kelCreatorTable();
