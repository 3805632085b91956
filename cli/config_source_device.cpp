// Device sources live apart from the file sources so that code reading only files does not
// pull in the device layer.
#include "cli/config_source.h"

#include "core/device/arm_link.h"

ConfigurationSet readDeviceSource(const SourceDescription& source, ArmLink& link) {
    ConfigurationSet set;
    if (source.kind == SourceKind::DeviceDefault) {
        set.records.app = link.ARM_getDefaultAppConfig();
        set.records.mc = link.ARM_getDefaultMCConfig();
    } else if (source.kind == SourceKind::DeviceCurrent) {
        set.records.app = link.ARM_getAppConfig();
        set.records.mc = link.ARM_getMCConfig();
    } else {
        throw SourceError("Not a device source: " + source.text);
    }
    set.hasApp = true;
    set.hasMc = true;
    return set;
}
