// Comparing configurations from files and from the controller.

#include "tests/cli/cli_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST_F(CliExtras, DiffPrintsEveryDifferingFieldInDocumentOrder) {
    SimRecords left = defaults();
    SimRecords right = defaults();
    right.app.controller_id = 9;
    right.mc.l_current_max = left.mc.l_current_max + 0.005f; // within the tolerance
    right.mc.l_min_erpm = -1234.0f;
    right.mc.foc_hall_table[3] = 255;
    const std::string a = writeLpfp("a.lpfp", left);
    const std::string b = write("b.app.xml", appXml(right));
    const std::string c = write("b.mc.xml", mcXml(right));

    CliResult result = run({"--diff", a, c + "," + b}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_THAT(
        result.lines,
        ElementsAreArray(Lines{
            "APPConfiguration controller_id: " + std::to_string(left.app.controller_id) + " -> 9",
            "MCConfiguration l_min_erpm: " + fieldXmlText(*mcXmlOrder()[6], left.mc) + " -> -1234",
            "MCConfiguration foc_hall_table__3: " + std::to_string(left.mc.foc_hall_table[3]) + " -> 255"}));
    // Standard output carries the differences alone; the verdict is a log line on standard error.
    EXPECT_THAT(result.errLines, ElementsAreArray(Lines{"[info] 3 fields differ"}));

    result = run({"--diff", a, a}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.errLines, ElementsAreArray(Lines{"[info] The configurations are the same"}));

    // One document on a side: only its record is compared.
    result = run({"--diff", b, a}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(starting(result.lines, "MCConfiguration").size(), 0u);
    EXPECT_EQ(starting(result.lines, "APPConfiguration controller_id: 9 -> ").size(), 1u);
}

TEST_F(CliExtras, DiffTroubleIsStatus2) {
    const std::string a = writeLpfp("a.lpfp", defaults());
    const std::string app = write("a.xml", appXml(defaults()));
    const std::string mc = write("m.xml", mcXml(defaults()));
    const std::string damaged = write("damaged.lpfp", "QUJD0000");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--diff", a, dir.file("gone.lpfp")}, "[error] Cannot read file " + dir.file("gone.lpfp")},
        {{"--diff", damaged, a}, "[error] " + damaged + ": Checksum Fail"},
        {{"--diff", app, mc},
         "[error] Nothing to compare: " + app + " and " + mc + " hold no record of the same kind"},
        {{"--diff", a, "device:factory"},
         "[error] Unknown device source device:factory (use device:current or device:default)"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 2) << c.message;
        EXPECT_EQ(result.out, "");
        EXPECT_THAT(result.errLines, ElementsAreArray(Lines{c.message}));
    }
    // A device side needs a device.
    const CliResult noDevice = run({"--diff", a, "device:current"}, "devices=0");
    EXPECT_EQ(noDevice.status, 2);
    EXPECT_EQ(noDevice.out, "");
    EXPECT_THAT(noDevice.errLines, ElementsAreArray(Lines{"[error] No VARKO 5 devices found"}));
    const CliResult silent = run({"--diff", a, "device:current"}, "fault=silent_controller;fault_on=17");
    EXPECT_EQ(silent.status, 2);
    EXPECT_EQ(silent.out, "");
    EXPECT_TRUE(contains(silent.errLines, "[error] ARM timed out. It may not be powered."));
}

TEST_F(CliExtras, DiffAgainstTheDeviceAndTheChangedView) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const SimRecords factory = defaults();
    const Lines changes{
        "APPConfiguration controller_id: " + std::to_string(factory.app.controller_id) + " -> 42",
        "APPConfiguration app_ppm_conf.hyst: " + fieldXmlText(*appXmlOrder()[15], factory.app) + " -> 0.75",
        "MCConfiguration l_current_max: " + fieldXmlText(*mcXmlOrder()[0], factory.mc) + " -> 33.5",
        "MCConfiguration si_motor_poles: " + std::to_string(factory.mc.si_motor_poles) + " -> 20",
    };
    ASSERT_EQ(appXmlOrder()[15]->key, "app_ppm_conf.hyst");
    ASSERT_EQ(mcXmlOrder()[0]->key, "l_current_max");
    const Lines verdict{"[info] 4 fields differ"};

    CliResult result = run({"--changed"});
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_THAT(result.lines, ElementsAreArray(changes));
    EXPECT_THAT(result.errLines, ElementsAreArray(verdict));
    result = run({"--diff", "device:default", "device:current"});
    EXPECT_THAT(result.lines, ElementsAreArray(changes));
    EXPECT_THAT(result.errLines, ElementsAreArray(verdict));
    result = run({"--diff", writeLpfp("factory.lpfp", factory), "device:current"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.lines, ElementsAreArray(changes));
    EXPECT_THAT(result.errLines, ElementsAreArray(verdict));

    result = run({"--diff", "device:current", writeLpfp("now.lpfp", modifiedRecords())});
    EXPECT_EQ(result.status, 0);

    fs::remove(statePath);
    result = run({"--changed"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.errLines, ElementsAreArray(Lines{"[info] The configurations are the same"}));
}
