// Device sources live apart from the file sources so that code reading only files does not
// pull in the device layer.
#include "core/ops/config_source.h"

#include "core/ops/session.h"

ConfigurationSet readDeviceSource(const SourceDescription& source, ControllerSession& session) {
    ConfigurationSet set;
    if (source.kind == SourceKind::DeviceDefault) {
        set.records = readRecords(session, RecordSet::Default);
    } else if (source.kind == SourceKind::DeviceCurrent) {
        set.records = readRecords(session, RecordSet::Current);
    } else {
        throw SourceError("Not a device source: " + source.text);
    }
    set.hasApp = true;
    set.hasMc = true;
    return set;
}
