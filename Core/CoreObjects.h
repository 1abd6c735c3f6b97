#pragma once
// The object classes of the core that the creator table registers.
#include "Core/AttrDoubler.h"
#include "Core/SharedAttribute.h"
#include "Core/Timer.h"
