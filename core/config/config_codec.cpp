#include "core/config/config_codec.h"
