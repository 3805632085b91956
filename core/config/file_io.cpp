#include "core/config/file_io.h"
