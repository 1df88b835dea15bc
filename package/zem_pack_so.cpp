// libzem_pack.so is made of the framework and control libraries linked whole; this file only gives
// the shared library a source of its own. Its entry points are the C functions of frame/pub_ptr.h,
// frame/startup/zem_pack.h and frame/zem_units.h.
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
