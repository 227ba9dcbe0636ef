// The setting value types.
#include "settings/var.h"
