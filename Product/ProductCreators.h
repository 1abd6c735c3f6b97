#pragma once
// The product's composition root: the creator table of every class the
// definitions name (the object core's rows, each area of the audio side,
// the editor's resources and views), and the start options that load the product with it.

#include <span>

#include "Core/Application.h"
#include "Core/Object.h"

std::span<const CreatorRow> kelProductCreatorTable();
// The embedded resources and "SharedData.xml" with the product's creators.
CApplication::StartOptions kelProductStartOptions();
