#pragma once
// Where the human report of lpfp_cli goes, and how the lines of several devices that work at
// once stay apart: every line a device's worker prints, on the report stream or through the
// logger, begins with that device's serial number, and lines never interleave.

#include <memory>
#include <ostream>
#include <string>

struct FlowReport;

namespace report {

// The stream for the human report: standard output, or standard error when the JSON document
// takes standard output. Set once, before any worker starts; the logger follows it.
void useStandardError();
// The calling thread's report stream: the human stream, or the prefixing stream of the device
// the thread works for.
std::ostream& out();

// For the lifetime of the object, the calling thread works for one device: its report lines
// and its log lines begin with "<serial>: ", and the first error it logs is kept in flowReport.
class DeviceScope {
public:
    DeviceScope(const std::string& serial, FlowReport* flowReport);
    ~DeviceScope();
    DeviceScope(const DeviceScope&) = delete;
    DeviceScope& operator=(const DeviceScope&) = delete;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// The calling thread's flow report (null when nobody collects one): flows record their
// result there for the summary and the JSON document.
FlowReport* activeReport();
// Collect the calling thread's report without a device prefix (a single-device run).
void setActiveReport(FlowReport* flowReport);

// Installs the logger's device prefix and its error capture. Called once at start-up.
void installLogging();

} // namespace report
