#pragma once
// Creator rows of the process graph: definitions, links, bypass states, the
// audio environment and the container-like modules.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> audioGraphCreatorRows();
