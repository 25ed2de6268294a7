#pragma once
// A core header that reaches up into the interlocking: the layer check must refuse it.
#include "core/ports.h"
#include "interlocking/signal.h"
