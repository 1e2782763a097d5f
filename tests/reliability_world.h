// The name under which the fuzz targets include the shared scenario.
#include "scenario.h"
