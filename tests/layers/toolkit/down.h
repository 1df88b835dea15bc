// The toolkit stands on Qt alone.
#include <QWidget>
#include "frame/pub_ptr.h"
