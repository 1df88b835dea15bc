// A sideways include on one floor, and one that points down.
#include "core/text/map_str.h"
#include "link/r_call.h"
