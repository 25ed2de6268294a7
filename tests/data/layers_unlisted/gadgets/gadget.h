#pragma once
// A folder the layer table does not know: the check must ask for it to be placed.
#include "core/ports.h"
