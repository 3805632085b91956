#include "core/config/config_xml.h"
