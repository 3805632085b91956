#include "cli/flow_table.h"
#include "cli/options.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(OptionValues, BaudMustBeALineSpeed) {
    for (const char* bad : {"9601", "fast", "-9600", "0", "11520000000"}) {
        CommandLineOptions options;
        EXPECT_EQ(parseCommandLine({"--baud", bad}, options),
                  "--baud: " + std::string(bad) + " is not a line speed a serial port can be set to")
            << bad;
    }
}

TEST(OptionValues, EachSetsItsFieldInBothValueForms) {
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

TEST(OptionValues, MalformedUseIsACommandLineError) {
    EXPECT_TRUE(refused({"--diff", "only-one"}));
    EXPECT_TRUE(refused({"--diff", "a", "b", "c"})); // the third is a stray argument
    EXPECT_TRUE(refused({"--serial"}));
    EXPECT_TRUE(refused({"--changed=1"}));
    EXPECT_TRUE(refused({"--lpfp_config"}));
}

TEST(OptionValues, LpfpComparisonAndConverterActionsComeFirstInTableOrder) {
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
    EXPECT_STREQ(chosenFlow(parsed(arguments)).name, "diff");
    arguments.resize(arguments.size() - 3);
    EXPECT_STREQ(chosenFlow(parsed(arguments)).name, "changed");
    arguments.pop_back();
    EXPECT_STREQ(chosenFlow(parsed(arguments)).name, "lpfpToXml");
    arguments.pop_back();
    EXPECT_STREQ(chosenFlow(parsed(arguments)).name, "xmlToLpfp");
    arguments.pop_back();
    EXPECT_STREQ(chosenFlow(parsed(arguments)).name, "applyLpfp");
    arguments.pop_back();
    EXPECT_STREQ(chosenFlow(parsed(arguments)).name, "saveLpfp");
    arguments.pop_back();
    EXPECT_STREQ(chosenFlow(parsed(arguments)).name, "test");

    // Modifiers alone choose nothing new.
    EXPECT_STREQ(chosenFlow(parsed({"--serial=S", "--backup_dir=b", "--no_backup"})).name, "none");
    EXPECT_STREQ(chosenFlow(parsed({"--serial=S", "--mc_config=m"})).name, "setConfig");
}

} // namespace

namespace {

// Every name of every row, as the parser knows them.
std::vector<std::string> everyName() {
    std::vector<std::string> names;
    for (const OptionRow& row : optionTable()) {
        std::string all = row.names;
        for (std::size_t start = 0; start <= all.size();) {
            const std::size_t comma = std::min(all.find(',', start), all.size());
            names.push_back(all.substr(start, comma - start));
            start = comma + 1;
        }
    }
    return names;
}

TEST(OptionTable, EveryRowIsParsedListedDocumentedAndCompleted) {
    const std::string usage = usageText("lpfp_cli");
    const std::string man = manPageOptions();
    const std::string completion = bashCompletion("lpfp_cli");
    // The option names are the last word list; the device sources of --diff come before it.
    const std::size_t wordsAt = completion.rfind("compgen -W \"") + 12;
    const std::string words = " " + completion.substr(wordsAt, completion.find('"', wordsAt) - wordsAt) + " ";
    for (const OptionRow& row : optionTable()) {
        EXPECT_NE(usage.find(std::string("\n        ") + row.description), std::string::npos) << row.names;
        if (std::string(row.description).find('-') != std::string::npos) {
            EXPECT_EQ(man.find(row.description), std::string::npos) << "unescaped hyphens: " << row.names;
        }
    }
    for (const std::string& name : everyName()) {
        // A flag is accepted alone; a value option wants its values.
        std::vector<std::string> arguments{name};
        for (const OptionRow& row : optionTable())
            if (("," + std::string(row.names) + ",").find("," + name + ",") != std::string::npos)
                for (int i = 0; i < row.valueCount; ++i)
                    arguments.push_back(row.check != nullptr ? "9600" : "value");
        CommandLineOptions options;
        EXPECT_EQ(parseCommandLine(arguments, options), std::nullopt) << name;
        if (name != "-?") {
            EXPECT_NE(words.find(" " + name + " "), std::string::npos) << name;
        }
    }
}

TEST(OptionTable, ManualPageListsEachOptionAsATaggedParagraphWithEscapedHyphens) {
    const std::string man = manPageOptions();
    EXPECT_EQ(
        man.rfind(".TP\n\\fB\\-?\\fR, \\fB\\-h\\fR, \\fB\\-\\-help\\fR\nDisplay usage information.\n", 0), 0u)
        << man;
    EXPECT_NE(man.find(".TP\n\\fB\\-o\\fR, \\fB\\-\\-output\\fR \\fIoutput_filename\\fR\n"
                       "The basename for the output file.\n"),
              std::string::npos);
    EXPECT_NE(man.find(".TP\n\\fB\\-\\-diff\\fR \\fIsource\\fR \\fIsource\\fR\n"), std::string::npos);
    std::size_t paragraphs = 0;
    for (std::size_t at = man.find(".TP\n"); at != std::string::npos; at = man.find(".TP\n", at + 1))
        ++paragraphs;
    EXPECT_EQ(paragraphs, optionTable().size());
}

TEST(OptionTable, CompletionOffersFilesFoldersOrNothingAfterAValueOption) {
    const std::string completion = bashCompletion("lpfp_cli");
    EXPECT_NE(completion.find("complete -o filenames -F _lpfp_cli lpfp_cli\n"), std::string::npos);
    EXPECT_NE(completion.find(
                  "--app_config|--mc_config|-o|--output|--lpfp_config|--saveLpfp|--lpfp_to_xml|"
                  "--xml_to_lpfp|--diff|--json|--record)\n        COMPREPLY=($(compgen -f -- \"$cur\"))"),
              std::string::npos)
        << completion;
    EXPECT_NE(completion.find("--backup_dir)\n        COMPREPLY=($(compgen -d -- \"$cur\"))"),
              std::string::npos);
    EXPECT_NE(completion.find(
                  "--serial|--baud|--history|--since|--history-export)\n        COMPREPLY=(); return ;;"),
              std::string::npos);
}

TEST(OptionTable, FlowTableEndsWithNoneAndNamesEveryFlowOnce) {
    std::vector<std::string> names;
    for (const FlowRow& row : flowTable())
        names.push_back(row.name);
    EXPECT_EQ(names, (std::vector<std::string>{"historyExport", "history", "diff", "changed", "lpfpToXml",
                                               "xmlToLpfp", "applyLpfp", "saveLpfp", "test", "getDefaults",
                                               "getConfig", "setConfig", "none"}));
    EXPECT_STREQ(chosenFlow(parsed({})).name, "none");
    EXPECT_TRUE(chosenFlow(parsed({"--changed"})).comparison);
    EXPECT_FALSE(chosenFlow(parsed({"--lpfp_to_xml=a.lpfp"})).usesDevice);
    EXPECT_FALSE(chosenFlow(parsed({"--xml_to_lpfp=a.lpfp"})).usesDevice);
    EXPECT_TRUE(chosenFlow(parsed({"--test"})).usesDevice);
    // Reading the record wins over any device flow and touches no device.
    EXPECT_STREQ(chosenFlow(parsed({"--test", "--history", "all"})).name, "history");
    EXPECT_STREQ(chosenFlow(parsed({"--history", "all", "--history-export", "3"})).name, "historyExport");
    EXPECT_FALSE(chosenFlow(parsed({"--history", "all"})).usesDevice);
}

} // namespace
