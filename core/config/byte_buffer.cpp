#include "core/config/byte_buffer.h"
