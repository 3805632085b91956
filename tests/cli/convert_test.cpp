// Converting between an LPFP file and two XML documents, without a device.

#include "tests/cli/cli_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST_F(CliExtras, ConvertingBetweenLpfpAndXmlNeedsNoDevice) {
    const SimRecords records = modifiedRecords();
    const std::string lpfp = writeLpfp("unit.lpfp", records);

    CliResult result = run({"--lpfp_to_xml", lpfp}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string base = dir.file("unit");
    EXPECT_THAT(result.errLines, ElementsAreArray(Lines{"APP Configuration saved to: " + base + ".app.xml",
                                                        "MC Configuration saved to: " + base + ".mc.xml"}));
    const std::string header = std::string(XML_DECLARATION) + "\n";
    EXPECT_EQ(readFileBytes(base + ".app.xml"), header + appXml(records));
    EXPECT_EQ(readFileBytes(base + ".mc.xml"), header + mcXml(records));

    result = run({"--lpfp_to_xml", lpfp, "-o", dir.file("other")}, UNTOUCHABLE);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readFileBytes(dir.file("other.mc.xml")), header + mcXml(records));

    const std::string back = dir.file("back.lpfp");
    result = run({"--app_config", base + ".app.xml", "--mc_config", base + ".mc.xml", "--xml_to_lpfp", back},
                 UNTOUCHABLE);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.errLines, ElementsAreArray(Lines{"LPFP Configuration saved to: " + back}));
    LpfpConfiguration pair;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(pair, back, keys));
    EXPECT_EQ(keys, 306u);
    EXPECT_EQ(appConfigToXml(pair.app), appXml(records));
}

TEST_F(CliExtras, ConversionFailuresAreNamed) {
    const std::string app = write("a.xml", std::string(XML_DECLARATION) + "\n" + appXml(defaults()));
    const std::string mc = write("m.xml", std::string(XML_DECLARATION) + "\n" + mcXml(defaults()));
    const std::string damaged = write("damaged.lpfp", "QUJD0000");
    const std::string out = dir.file("out.lpfp");
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--lpfp_to_xml", damaged}, "[error] " + damaged + ": Checksum Fail"},
        {{"--lpfp_to_xml", dir.file("none.lpfp")}, "[error] Cannot read file " + dir.file("none.lpfp")},
        {{"--app_config", mc, "--mc_config", mc, "--xml_to_lpfp", out},
         "[error] Not a valid APPConfiguration XML file"},
        {{"--app_config", app, "--mc_config", app, "--xml_to_lpfp", out},
         "[error] Not a valid MCConfiguration XML file"},
        {{"--app_config", app, "--xml_to_lpfp", out},
         "[error] --xml_to_lpfp needs both --app_config and --mc_config"},
    };
    for (const auto& c : cases) {
        const CliResult result = run(c.arguments, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << c.message;
        EXPECT_THAT(result.errLines, ElementsAreArray(Lines{c.message}));
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir.file("damaged.app.xml")));

    const CliResult unwritable =
        run({"--lpfp_to_xml", writeLpfp("ok.lpfp", defaults()), "-o", dir.file("no/dir/x")}, UNTOUCHABLE);
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(starting(unwritable.errLines, "[error] --output: Cannot write file ").size(), 1u)
        << unwritable.err;
}
