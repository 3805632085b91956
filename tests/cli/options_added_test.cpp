#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLineOptions parsed(const std::vector<std::string>& arguments) {
    CommandLineOptions options;
    const auto error = parseCommandLine(arguments, options);
    EXPECT_FALSE(error.has_value()) << *error;
    return options;
}

bool refused(const std::vector<std::string>& arguments) {
    CommandLineOptions options;
    return parseCommandLine(arguments, options).has_value();
}

TEST(NewOptions, BaudMustBeALineSpeed) {
    for (const char* bad : {"9601", "fast", "-9600", "0", "11520000000"}) {
        CommandLineOptions options;
        EXPECT_EQ(parseCommandLine({"--baud", bad}, options),
                  "--baud: " + std::string(bad) + " is not a line speed a serial port can be set to")
            << bad;
    }
}

TEST(NewOptions, EachSetsItsFieldInBothValueForms) {
    EXPECT_EQ(parsed({"--lpfp_config", "a.lpfp"}).lpfpConfigPath, "a.lpfp");
    EXPECT_EQ(parsed({"--lpfp_config=a.lpfp"}).lpfpConfigPath, "a.lpfp");
    EXPECT_EQ(parsed({"--saveLpfp=s.lpfp"}).saveLpfpPath, "s.lpfp");
    EXPECT_EQ(parsed({"--lpfp_to_xml", "c.lpfp"}).lpfpToXmlPath, "c.lpfp");
    EXPECT_EQ(parsed({"--xml_to_lpfp", "o.lpfp"}).xmlToLpfpPath, "o.lpfp");
    EXPECT_EQ(parsed({"--diff", "a.lpfp", "device:current"}).diffSources,
              (std::vector<std::string>{"a.lpfp", "device:current"}));
    EXPECT_TRUE(parsed({"--changed"}).changed);
    EXPECT_EQ(parsed({"--serial", "FT1"}).serial, "FT1");
    EXPECT_EQ(parsed({"--backup_dir=/b"}).backupDir, "/b");
    EXPECT_TRUE(parsed({"--no_backup"}).noBackup);
    EXPECT_EQ(parsed({"--baud", "115200"}).baud, 115200u);
    EXPECT_EQ(parsed({"--baud=9600"}).baud, 9600u);

    const CommandLineOptions none = parsed({});
    EXPECT_EQ(none.baud, std::nullopt);
    EXPECT_TRUE(none.diffSources.empty());
    EXPECT_FALSE(none.changed);
    EXPECT_FALSE(none.noBackup);
    EXPECT_EQ(none.serial, "");
}

TEST(NewOptions, MalformedUseIsACommandLineError) {
    EXPECT_TRUE(refused({"--diff", "only-one"}));
    EXPECT_TRUE(refused({"--diff", "a", "b", "c"})); // the third is a stray argument
    EXPECT_TRUE(refused({"--serial"}));
    EXPECT_TRUE(refused({"--changed=1"}));
    EXPECT_TRUE(refused({"--lpfp_config"}));
}

TEST(NewOptions, NewActionsComeBeforeTheOriginalOnesAndAmongThemselvesInOrder) {
    const std::vector<std::string> all{"--test",
                                       "--getDefaults",
                                       "--app_config=a",
                                       "--mc_config=m",
                                       "--saveLpfp=s",
                                       "--lpfp_config=l",
                                       "--xml_to_lpfp=x",
                                       "--lpfp_to_xml=c",
                                       "--changed",
                                       "--diff",
                                       "p",
                                       "q"};
    std::vector<std::string> arguments = all;
    EXPECT_EQ(chooseFlow(parsed(arguments)), FlowChoice::Diff);
    arguments.resize(arguments.size() - 3);
    EXPECT_EQ(chooseFlow(parsed(arguments)), FlowChoice::Changed);
    arguments.pop_back();
    EXPECT_EQ(chooseFlow(parsed(arguments)), FlowChoice::LpfpToXml);
    arguments.pop_back();
    EXPECT_EQ(chooseFlow(parsed(arguments)), FlowChoice::XmlToLpfp);
    arguments.pop_back();
    EXPECT_EQ(chooseFlow(parsed(arguments)), FlowChoice::ApplyLpfp);
    arguments.pop_back();
    EXPECT_EQ(chooseFlow(parsed(arguments)), FlowChoice::SaveLpfp);
    arguments.pop_back();
    EXPECT_EQ(chooseFlow(parsed(arguments)), FlowChoice::Test);

    // Modifiers alone choose nothing new.
    EXPECT_EQ(chooseFlow(parsed({"--serial=S", "--backup_dir=b", "--no_backup"})), FlowChoice::None);
    EXPECT_EQ(chooseFlow(parsed({"--serial=S", "--mc_config=m"})), FlowChoice::SetConfig);
}

} // namespace
