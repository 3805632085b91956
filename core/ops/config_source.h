#pragma once
// Where a configuration to look at comes from, as a user writes it on the command line:
//   "app.xml,mc.xml"   a pair of XML documents (each file's root element says which record it holds)
//   "file.xml"         one XML document: only the record its root names
//   "file.lpfp"        an LPFP file: both records (the extension decides, in any letter case)
//   "device:current"   the controller's current records
//   "device:default"   the controller's default records

#include "core/lpfp/lpfp.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class ControllerSession;

enum class SourceKind { XmlFiles, LpfpFile, DeviceCurrent, DeviceDefault };

struct SourceDescription {
    SourceKind kind = SourceKind::XmlFiles;
    std::vector<std::string> paths; // one or two XML paths, or the LPFP path; empty for the device
    std::string text;               // as the user wrote it, for messages
};

// The records a source produced. Fields of a record that is not present stay zero; so do
// fields whose keys a document leaves out.
struct ConfigurationSet {
    LpfpConfiguration records;
    bool hasApp = false;
    bool hasMc = false;
    // Values the readers had to narrow to something else than their text says (config_validate.h),
    // one line per key: "<file>: <key>: "<text>" (allowed: ...), read as <value>".
    std::vector<std::string> narrowed;
};

// A source that cannot be read; the message is meant for the user.
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether a path ends in ".lpfp", in any letter case; and the path without it (unchanged when
// it has none, or is nothing but the extension).
bool hasLpfpExtension(const std::string& path);
std::string withoutLpfpExtension(const std::string& path);

// Throws SourceError for an empty source, an unknown "device:" form, or a pair with an empty side.
SourceDescription parseSource(const std::string& text);
bool isDeviceSource(const SourceDescription& source);

// How the files of a source are read: the whole text of a path, or InputFileError (file_io.h).
// Empty: readInputFile. A caller that asks for the same input more than once (one worker per
// device) gives a reader that reads each path once, as a pipe can only be read once.
using InputReader = std::function<std::string(const std::string& path)>;

// Reads a file source. Throws SourceError when a file is missing, damaged, holds no
// configuration record, or when a pair does not hold one record of each kind.
ConfigurationSet loadFileSource(const SourceDescription& source, const InputReader& read = {});
// Checks that an LPFP file can be used without reading its values: readable, intact, holding
// both documents. Throws SourceError with the messages loadFileSource uses.
void checkLpfpFile(const std::string& path);
// The same check on a file read once, whose stored text it returns.
std::string readCheckedLpfpFile(const std::string& path, const InputReader& read = {});

// The whole text of a file given as input: a regular file or a pipe alike. Throws SourceError
// "Cannot read file <path>" when the file is not there or cannot be opened, or
// "Cannot read file <path>: <reason>" when it is something else (a folder, a device) or a pipe
// that never delivers.
std::string readSourceFile(const std::string& path, const InputReader& read = {});

// Reads both records of a device source. Controller failures pass through.
ConfigurationSet readDeviceSource(const SourceDescription& source, ControllerSession& session);

// Which record an XML document's text holds, by its root element: "APPConfiguration",
// "MCConfiguration", or empty when the text does not parse or has another root.
std::string xmlRecordNameOf(const std::string& documentText);
