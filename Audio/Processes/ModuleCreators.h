#pragma once
// Creator rows of the processing modules (gain stages, limiter gain
// computers, latency modules) for the creator table.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> audioModuleCreatorRows();
