#include "core/config/config_fields.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

template <class Order> std::set<std::string> keysOf(const Order& order) {
    std::set<std::string> keys;
    for (const auto* f : order) {
        keys.insert(std::string(f->key));
    }
    return keys;
}

template <class Table> std::set<std::string> keysOfTable(const Table& table) {
    std::set<std::string> keys;
    for (const auto& f : table) {
        keys.insert(std::string(f.key));
    }
    return keys;
}

TEST(ConfigFields, TablesHoldEveryValueOnce) {
    EXPECT_EQ(mcFields().size(), 157u);
    EXPECT_EQ(appFields().size(), 149u);
    EXPECT_EQ(keysOfTable(mcFields()).size(), 157u);
    EXPECT_EQ(keysOfTable(appFields()).size(), 149u);
}

TEST(ConfigFields, EveryOrderNamesEveryFieldExactlyOnce) {
    const auto mcAll = keysOfTable(mcFields());
    const auto appAll = keysOfTable(appFields());
    EXPECT_EQ(mcXmlOrder().size(), 157u);
    EXPECT_EQ(keysOf(mcXmlOrder()), mcAll);
    EXPECT_EQ(mcCompareOrder().size(), 157u);
    EXPECT_EQ(keysOf(mcCompareOrder()), mcAll);
    EXPECT_EQ(appXmlOrder().size(), 149u);
    EXPECT_EQ(keysOf(appXmlOrder()), appAll);
    EXPECT_EQ(appPayloadOrder().size(), 149u);
    EXPECT_EQ(appCompareOrder().size(), 149u);

    // The motor payload carries everything but the six lo_ fields.
    EXPECT_EQ(mcPayloadOrder().size(), 151u);
    auto payload = keysOf(mcPayloadOrder());
    EXPECT_EQ(payload.size(), 151u);
    for (const auto& key : mcAll) {
        EXPECT_EQ(payload.count(key) == 0, key.rfind("lo_", 0) == 0) << key;
    }
}

// The message an order given by keys is refused with ("" when it is accepted).
template <class Table>
std::string refusal(const Table& table, const std::vector<std::string_view>& keys, OrderCoverage coverage) {
    try {
        resolveFieldOrder(table, keys, coverage);
    } catch (const std::logic_error& error) {
        return error.what();
    }
    return {};
}

template <class Order> std::vector<std::string_view> keyList(const Order& order) {
    std::vector<std::string_view> keys;
    for (const auto* f : order) {
        keys.push_back(f->key);
    }
    return keys;
}

TEST(ConfigFields, AnOrderMustNameEachFieldItCoversOnce) {
    const std::vector<std::string_view> appKeys = keyList(appXmlOrder());
    const std::vector<std::string_view> mcWire = keyList(mcPayloadOrder());
    EXPECT_EQ(refusal(appFields(), appKeys, OrderCoverage::EveryField), "");
    EXPECT_EQ(refusal(mcFields(), mcWire, OrderCoverage::WireFields), "");
    EXPECT_EQ(resolveFieldOrder(mcFields(), mcWire, OrderCoverage::WireFields), mcPayloadOrder());

    auto missing = appKeys;
    missing.erase(missing.begin() + 5);
    EXPECT_EQ(refusal(appFields(), missing, OrderCoverage::EveryField),
              "field order misses the key: " + std::string(appKeys[5]));
    auto unknown = appKeys;
    unknown.push_back("app_ppm_conf.colour");
    EXPECT_EQ(refusal(appFields(), unknown, OrderCoverage::EveryField),
              "field order names an unknown key: app_ppm_conf.colour");
    auto twice = appKeys;
    twice[7] = twice[3];
    EXPECT_EQ(refusal(appFields(), twice, OrderCoverage::EveryField),
              "field order names a key twice: " + std::string(appKeys[3]));
    // The motor wire order leaves the lo_ fields out and must not name them; every other order
    // must name them.
    auto withLo = mcWire;
    withLo.push_back("lo_current_max");
    EXPECT_EQ(refusal(mcFields(), withLo, OrderCoverage::WireFields),
              "field order names a field the wire does not carry: lo_current_max");
    EXPECT_EQ(refusal(mcFields(), mcWire, OrderCoverage::EveryField),
              "field order misses the key: lo_current_max");
    EXPECT_EQ(refusal(mcFields(), {}, OrderCoverage::WireFields),
              "field order misses the key: l_current_max");
}

TEST(ConfigFields, CountsByType) {
    auto count = [](const auto& table, FieldType type) {
        int n = 0;
        for (const auto& f : table) {
            n += f.type == type;
        }
        return n;
    };
    EXPECT_EQ(count(mcFields(), FieldType::Float32), 111);
    EXPECT_EQ(count(mcFields(), FieldType::Enum), 14);
    EXPECT_EQ(count(mcFields(), FieldType::Uint8), 9);
    EXPECT_EQ(count(mcFields(), FieldType::Int8), 8);
    EXPECT_EQ(count(mcFields(), FieldType::Bool), 7);
    EXPECT_EQ(count(mcFields(), FieldType::Int32), 6);
    EXPECT_EQ(count(mcFields(), FieldType::Uint16), 1);
    EXPECT_EQ(count(mcFields(), FieldType::Uint32), 1);
    EXPECT_EQ(count(appFields(), FieldType::Float32), 85);
    EXPECT_EQ(count(appFields(), FieldType::Bool), 21);
    EXPECT_EQ(count(appFields(), FieldType::Enum), 20);
    EXPECT_EQ(count(appFields(), FieldType::Uint16), 9);
    EXPECT_EQ(count(appFields(), FieldType::Uint8), 8);
    EXPECT_EQ(count(appFields(), FieldType::Uint32), 5);
    EXPECT_EQ(count(appFields(), FieldType::Int32), 1);
}

TEST(ConfigFields, EachDescriptionReachesItsOwnMember) {
    // Writing distinct values through every description must touch distinct storage.
    MCConfiguration mc{};
    std::int64_t n = 1;
    for (const auto& f : mcFields()) {
        if (f.type == FieldType::Float32) {
            setFloat(f.in(mc), static_cast<float>(n));
        } else if (f.type != FieldType::Bool) {
            setInteger(f.in(mc), n);
        }
        ++n;
    }
    n = 1;
    for (const auto& f : mcFields()) {
        if (f.type == FieldType::Float32) {
            EXPECT_EQ(getFloat(f.in(mc)), static_cast<float>(n)) << f.key;
        } else if (f.type != FieldType::Bool) {
            EXPECT_EQ(getInteger(f.in(mc)), n) << f.key;
        }
        ++n;
    }
}

TEST(ConfigFields, StoringKeepsTheLowBitsOfTheFieldWidth) {
    APPConfiguration app{};
    const auto& magnets = *std::find_if(appFields().begin(), appFields().end(),
                                        [](const auto& f) { return f.key == "app_pas_conf.magnets"; });
    setInteger(magnets.in(app), 300);
    EXPECT_EQ(app.app_pas_conf.magnets, 44);
    setInteger(magnets.in(app), -1);
    EXPECT_EQ(app.app_pas_conf.magnets, 255);
    MCConfiguration mc{};
    const auto& hall = *std::find_if(mcFields().begin(), mcFields().end(),
                                     [](const auto& f) { return f.key == "hall_table__3"; });
    setInteger(hall.in(mc), 255);
    EXPECT_EQ(mc.hall_table[3], -1);
    EXPECT_EQ(getInteger(hall.in(mc)), -1);
}

TEST(ConfigFields, CompareLabels) {
    EXPECT_EQ(compareLabel("hall_table__0"), "hall_table[0]");
    EXPECT_EQ(compareLabel("foc_hall_table__7"), "foc_hall_table[7]");
    EXPECT_EQ(compareLabel("l_current_max"), "l_current_max");
}

} // namespace
