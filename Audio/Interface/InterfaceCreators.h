#pragma once
// Creator rows of the parameter interface: the base, the client and the
// in-process connectors.

#include <span>

#include "Core/Object.h"

std::span<const CreatorRow> audioInterfaceCreatorRows();
