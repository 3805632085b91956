#include "core/config/config_compare.h"
