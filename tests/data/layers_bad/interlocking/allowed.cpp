// Allowed: a .cpp of the interlocking may include its own folder, lower folders and the
// simulation object.
#include "core/ports.h"
#include "display/palette.h"
#include "interlocking/signal.h"
#include "sim/sim.h"
