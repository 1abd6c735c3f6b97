#pragma once
// The object core's own creator rows (plain objects, attribute doublers,
// shared attributes, timers). A product registers them first and then its
// own: see CApplication::StartOptions.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> kelCoreCreatorRows();
