// Arbitrary documents through both XML readers, then back out through the writers.
#include "fuzz/harness.h"

#include "core/config/config_xml.h"

#include <spdlog/spdlog.h>
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>

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
    // Whatever the root is called, the readers must cope with its children.
    appConfigFromXml(app, document.RootElement(), count);
    mcConfigFromXml(mc, document.RootElement(), count);
}
