#include "export/porta.h"
