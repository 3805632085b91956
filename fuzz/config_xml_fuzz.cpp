// Arbitrary documents through both XML readers, then back out through the writers.
#include "fuzz/harness.h"

#include "core/config/config_validate.h"
#include "core/config/config_xml.h"

#include <spdlog/spdlog.h>
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// A document whose values all pass gives a record whose own document passes as well: what
// the programs write from accepted values is accepted again.
template <class Record, class Read, class Write, class Check>
void expectAcceptedValuesStayAccepted(const tinyxml2::XMLElement* root, const char* name, Read read,
                                      Write write, Check check) {
    if (root == nullptr || !check(root).empty()) {
        return;
    }
    Record record{};
    std::uint64_t count = 0;
    read(record, root, count);
    const std::string text = write(record);
    tinyxml2::XMLDocument again(true, tinyxml2::PRESERVE_WHITESPACE);
    if (again.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS ||
        !check(again.FirstChildElement(name)).empty()) {
        std::abort();
    }
}

} // namespace

void fuzzConfigXml(const std::uint8_t* data, std::size_t size) {
    spdlog::set_level(spdlog::level::off);
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(reinterpret_cast<const char*>(data), size) != tinyxml2::XML_SUCCESS) {
        return;
    }
    std::uint64_t count = 0;
    APPConfiguration app{};
    if (appConfigFromXml(app, document.FirstChildElement("APPConfiguration"), count)) {
        (void)appConfigToXml(app);
    }
    MCConfiguration mc{};
    if (mcConfigFromXml(mc, document.FirstChildElement("MCConfiguration"), count)) {
        (void)mcConfigToXml(mc);
    }
    // Whatever the root is called, the readers and the value check must cope with its children.
    appConfigFromXml(app, document.RootElement(), count);
    mcConfigFromXml(mc, document.RootElement(), count);
    expectAcceptedValuesStayAccepted<APPConfiguration>(
        document.RootElement(), "APPConfiguration", appConfigFromXml, appConfigToXml, checkAppConfigValues);
    expectAcceptedValuesStayAccepted<MCConfiguration>(document.RootElement(), "MCConfiguration",
                                                      mcConfigFromXml, mcConfigToXml, checkMcConfigValues);
}
