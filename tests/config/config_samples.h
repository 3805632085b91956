#pragma once
// Two sample records with a distinct value in (nearly) every field, and literal tables of how
// they must look in the controller's payload and in their XML documents. The tables are
// written out by hand-checked value, not derived from the code under test, so the codec and
// the document writer are checked against an independent description.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct WireExpectation {
    std::string_view key;
    int offset; // first byte in the payload
    std::vector<std::uint8_t> bytes;
};

struct XmlExpectation {
    std::string_view key;
    std::string_view text;
};

// One step of the motor comparison: the keys it covers and the "Not same" labels it logs.
struct CompareStep {
    std::vector<std::string_view> keys;
    std::vector<std::string_view> labels;
};

MCConfiguration sampleMcConfig();
APPConfiguration sampleAppConfig();

// Payload order: 151 motor fields (no lo_ fields), 149 application fields.
const std::vector<WireExpectation>& sampleMcWire();
const std::vector<WireExpectation>& sampleAppWire();

// Document order: 157 and 149 elements.
const std::vector<XmlExpectation>& sampleMcXml();
const std::vector<XmlExpectation>& sampleAppXml();

// The motor comparison, step by step (the hall tables element by element, bms as one step).
const std::vector<CompareStep>& mcCompareSteps();

// Keys of the fields whose values differ (floats by bit pattern, so NaN equals itself here).
std::vector<std::string> differingKeys(const MCConfiguration& a, const MCConfiguration& b);
std::vector<std::string> differingKeys(const APPConfiguration& a, const APPConfiguration& b);
