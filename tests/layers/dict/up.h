// Reaches up from the dictionaries into the controls.
#include "controls/grid/Mg.h"
