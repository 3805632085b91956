#include "core/config/config_fields.h"
#include "core/config/config_validate.h"
#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/lpfp/lpfp.h"
#include "simulator/simulator.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

template <class F> std::string failureOf(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no failure";
}

// Every field set to a value of its own: floats that need more than 8 digits, integers that
// fit their width, booleans alternating.
template <class Table, class Record> void fillDistinct(const Table& table, Record& record, int seed) {
    int i = seed;
    for (const auto& field : table) {
        ++i;
        if (isFloat(field.type)) {
            setFloat(field.in(record), static_cast<float>(i) * 1.23456789f - 100.0f);
        } else if (field.type == FieldType::Bool) {
            setInteger(field.in(record), i % 2);
        } else {
            setInteger(field.in(record), i * 7 + 1);
        }
    }
}

LpfpConfiguration distinctPair() {
    LpfpConfiguration pair;
    fillDistinct(appFields(), pair.app, 0);
    fillDistinct(mcFields(), pair.mc, 500);
    return pair;
}

// What a float reads back as after its trip through an 8-digit document.
float throughDocument(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.8g", static_cast<double>(value));
    return static_cast<float>(std::strtod(text, nullptr));
}

template <class Table, class Record>
void expectReadBack(const Table& table, const Record& written, const Record& read) {
    for (const auto& field : table) {
        if (isFloat(field.type)) {
            EXPECT_EQ(getFloat(field.in(read)), throughDocument(getFloat(field.in(written)))) << field.key;
        } else {
            EXPECT_EQ(getInteger(field.in(read)), getInteger(field.in(written))) << field.key;
        }
    }
}

template <class Table, class Record> bool allZero(const Table& table, const Record& record) {
    for (const auto& field : table) {
        if (getInteger(field.in(record)) != 0 || getFloat(field.in(record)) != 0.0f) {
            return false;
        }
    }
    return true;
}

std::string decodedFile(const std::string& path) {
    return decodeLpfp(readFileBytes(path));
}

void writeLpfpOf(const std::string& path, const std::string& plainText) {
    writeFileBytes(path, encodeLpfp(plainText));
}

class LpfpFile : public ::testing::Test {
protected:
    TempDir dir;
    LogCapture log{spdlog::level::warn};
};

TEST_F(LpfpFile, RecordsRoundTripWithEveryKey) {
    const LpfpConfiguration written = distinctPair();
    writeLpfpFile(written, dir.file("pair.lpfp"));

    LpfpConfiguration read;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(read, dir.file("pair.lpfp"), keys));
    EXPECT_EQ(keys, 306u);
    expectReadBack(appFields(), written.app, read.app);
    expectReadBack(mcFields(), written.mc, read.mc);
    EXPECT_TRUE(log.texts().empty());
}

TEST_F(LpfpFile, RecordsFormIsBothDocumentsWithAnEmptyLineBetween) {
    const LpfpConfiguration pair = distinctPair();
    const std::string app = appConfigToXml(pair.app);
    const std::string mc = mcConfigToXml(pair.mc);
    const std::string plain = buildLpfpText(pair);
    EXPECT_EQ(plain, kDeclaration + "\n<LPFP>\n" + app + "\n" + mc + "</LPFP>\n");
    EXPECT_EQ(plain.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LPFP>\n<APPConfiguration>\n    <", 0),
              0u);
    EXPECT_NE(plain.find("\n</APPConfiguration>\n\n<MCConfiguration>\n    <"), std::string::npos);
    EXPECT_EQ(plain.substr(plain.size() - 28), "\n</MCConfiguration>\n</LPFP>\n");

    writeLpfpFile(pair, dir.file("pair.lpfp"));
    const std::string file = readFileBytes(dir.file("pair.lpfp"));
    EXPECT_EQ(file, encodeLpfp(plain));
    EXPECT_EQ(file.size(), (plain.size() + 2) / 3 * 4 + 4);
}

TEST_F(LpfpFile, ConverterFormCopiesTheFirstTagPairOfEachFile) {
    writeFileBytes(dir.file("app.xml"),
                   "junk <APPConfiguration a=\"1\"> x\n<APPConfiguration><controller_id>7"
                   "</controller_id></APPConfiguration> y </APPConfiguration>\n");
    writeFileBytes(dir.file("mc.xml"), "<MCConfiguration>\r\n<l_current_max>5</l_current_max>\n"
                                       "</MCConfiguration><MCConfiguration></MCConfiguration>");
    ASSERT_TRUE(xmlFilesToLpfp(dir.file("app.xml"), dir.file("mc.xml"), dir.file("out.lpfp")));
    EXPECT_EQ(decodedFile(dir.file("out.lpfp")),
              kDeclaration +
                  "\n<LPFP>\n<APPConfiguration><controller_id>7</controller_id></APPConfiguration>\n"
                  "<MCConfiguration>\r\n<l_current_max>5</l_current_max>\n</MCConfiguration>\n</LPFP>");
}

TEST_F(LpfpFile, ConverterFormReadsLikeTheRecordsForm) {
    const LpfpConfiguration written = distinctPair();
    saveAppConfigXml(written.app, dir.file("app.xml"));
    saveMcConfigXml(written.mc, dir.file("mc.xml"));
    ASSERT_TRUE(xmlFilesToLpfp(dir.file("app.xml"), dir.file("mc.xml"), dir.file("pair.lpfp")));
    const std::string plain = decodedFile(dir.file("pair.lpfp"));
    EXPECT_EQ(plain.substr(plain.size() - 9), ">\n</LPFP>");

    LpfpConfiguration read;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(read, dir.file("pair.lpfp"), keys));
    EXPECT_EQ(keys, 306u);
    expectReadBack(appFields(), written.app, read.app);
    expectReadBack(mcFields(), written.mc, read.mc);
}

TEST_F(LpfpFile, LpfpToXmlAndBackDiffersInTwoLineFeedsOnly) {
    const LpfpConfiguration pair = distinctPair();
    writeLpfpFile(pair, dir.file("first.lpfp"));
    ASSERT_TRUE(lpfpToXmlFiles(dir.file("first.lpfp"), dir.file("app.xml"), dir.file("mc.xml")));

    // The XML files are exactly those the XML saving writes for the same records.
    saveAppConfigXml(pair.app, dir.file("saved.app.xml"));
    saveMcConfigXml(pair.mc, dir.file("saved.mc.xml"));
    EXPECT_EQ(readFileBytes(dir.file("app.xml")), readFileBytes(dir.file("saved.app.xml")));
    EXPECT_EQ(readFileBytes(dir.file("mc.xml")), readFileBytes(dir.file("saved.mc.xml")));

    ASSERT_TRUE(xmlFilesToLpfp(dir.file("app.xml"), dir.file("mc.xml"), dir.file("second.lpfp")));
    std::string expected = decodedFile(dir.file("first.lpfp"));
    const std::size_t gap = expected.find("</APPConfiguration>\n\n");
    ASSERT_NE(gap, std::string::npos);
    expected.erase(gap + 19, 1);
    ASSERT_EQ(expected.back(), '\n');
    expected.pop_back();
    EXPECT_EQ(decodedFile(dir.file("second.lpfp")), expected);
}

TEST_F(LpfpFile, MissingElementsMakeTheReaderReturnFalse) {
    const LpfpConfiguration full = distinctPair();
    const std::string app = appConfigToXml(full.app);
    const std::string mc = mcConfigToXml(full.mc);
    const std::string path = dir.file("x.lpfp");

    for (const std::string& plain : std::vector<std::string>{
             std::string(), std::string("not xml at all"), "<LPFP>" + app, "<Other>" + app + mc + "</Other>",
             "<LPFP>" + mc + "</LPFP>", "<LPFP><lpfp>" + app + mc + "</lpfp></LPFP>"}) {
        writeLpfpOf(path, plain);
        LpfpConfiguration pair;
        std::uint64_t keys = 99;
        EXPECT_FALSE(readLpfpFile(pair, path, keys)) << plain.substr(0, 40);
        EXPECT_EQ(keys, 99u);
        EXPECT_TRUE(allZero(appFields(), pair.app));
        EXPECT_TRUE(allZero(mcFields(), pair.mc));
    }

    // Without the motor document the application record is filled all the same.
    writeLpfpOf(path, kDeclaration + "\n<LPFP>\n" + app + "</LPFP>\n");
    LpfpConfiguration pair;
    std::uint64_t keys = 99;
    EXPECT_FALSE(readLpfpFile(pair, path, keys));
    EXPECT_EQ(keys, 99u);
    expectReadBack(appFields(), full.app, pair.app);
    EXPECT_TRUE(allZero(mcFields(), pair.mc));
}

TEST_F(LpfpFile, MissingKeysKeepTheCallersValuesAndAreNotCounted) {
    writeLpfpOf(dir.file("x.lpfp"),
                "<LPFP><MCConfiguration><l_current_max>5</l_current_max></MCConfiguration>"
                "<APPConfiguration/></LPFP>");
    LpfpConfiguration pair = distinctPair();
    const LpfpConfiguration before = pair;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(pair, dir.file("x.lpfp"), keys));
    EXPECT_EQ(keys, 1u);
    EXPECT_EQ(pair.mc.l_current_max, 5.0f);
    pair.mc.l_current_max = before.mc.l_current_max;
    expectReadBack(appFields(), before.app, pair.app);
    expectReadBack(mcFields(), before.mc, pair.mc);
    EXPECT_EQ(log.texts(spdlog::level::warn).size(), 305u);
}

TEST_F(LpfpFile, FileOfOnlyTheEmptyChecksumHoldsNothing) {
    writeFileBytes(dir.file("ffff.lpfp"), "FFFF");
    LpfpConfiguration pair;
    std::uint64_t keys = 0;
    EXPECT_FALSE(readLpfpFile(pair, dir.file("ffff.lpfp"), keys));
    EXPECT_FALSE(lpfpToXmlFiles(dir.file("ffff.lpfp"), dir.file("app.xml"), dir.file("mc.xml")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("app.xml")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("mc.xml")));
}

TEST_F(LpfpFile, DamagedFilesFailBeforeAnyXmlFileIsTouched) {
    writeFileBytes(dir.file("app.xml"), "old app");
    writeFileBytes(dir.file("mc.xml"), "old mc");
    const std::string good = encodeLpfp(buildLpfpText(distinctPair()));
    std::string star = good;
    star[10] = '*';
    const std::pair<std::string, std::string> cases[] = {
        {"", "Checksum Fail"},
        {"FFF", "Checksum Fail"},
        {good + "\n", "Checksum Fail\nLikely cause: a line break after the checksum (the file must end with "
                      "its four checksum digits)"},
        {"A" + good, "Checksum Fail"},
        {star, "Decoding Failed."},
        {std::string(3, '\xFF') + good, "Decoding Failed."}};
    for (const auto& [text, message] : cases) {
        writeFileBytes(dir.file("bad.lpfp"), text);
        LpfpConfiguration pair;
        std::uint64_t keys = 0;
        EXPECT_EQ(failureOf([&] { readLpfpFile(pair, dir.file("bad.lpfp"), keys); }), message);
        EXPECT_EQ(
            failureOf([&] { lpfpToXmlFiles(dir.file("bad.lpfp"), dir.file("app.xml"), dir.file("mc.xml")); }),
            message);
    }
    // A file that does not exist, or a folder, is named as unreadable, never as damaged, by
    // every reader of the file.
    LpfpConfiguration pair;
    std::uint64_t keys = 0;
    const std::string none = dir.file("none.lpfp");
    const std::string missing = "Cannot read file " + none + ": No such file or directory";
    EXPECT_EQ(failureOf([&] { readLpfpFile(pair, none, keys); }), missing);
    EXPECT_EQ(failureOf([&] { lpfpToXmlFiles(none, dir.file("app.xml"), dir.file("mc.xml")); }), missing);
    EXPECT_THROW(readLpfpFile(pair, none, keys), InputFileError);
    EXPECT_EQ(failureOf([&] { readLpfpFile(pair, dir.path().string(), keys); }),
              "Cannot read file " + dir.path().string() + ": it is a folder");
    EXPECT_EQ(
        failureOf([&] { xmlFilesToLpfp(dir.file("none.app.xml"), dir.file("mc.xml"), dir.file("o.lpfp")); }),
        "Cannot read file " + dir.file("none.app.xml") + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.lpfp")));
    EXPECT_EQ(readFileBytes(dir.file("app.xml")), "old app");
    EXPECT_EQ(readFileBytes(dir.file("mc.xml")), "old mc");
}

TEST_F(LpfpFile, ConvertersNeedBothTagsOfBothPairs) {
    const LpfpConfiguration pair = distinctPair();
    const std::string app = appConfigToXml(pair.app);
    const std::string mc = mcConfigToXml(pair.mc);
    auto without = [](std::string text, const std::string& tag) {
        return text.erase(text.find(tag), tag.size());
    };

    for (const std::string& plain : std::vector<std::string>{
             without(app, "<APPConfiguration>") + mc, without(app, "</APPConfiguration>") + mc,
             app + without(mc, "<MCConfiguration>"), app + without(mc, "</MCConfiguration>"),
             "<APPConfiguration >" + without(app, "<APPConfiguration>") + mc,
             "</APPConfiguration>" + without(app, "</APPConfiguration>") + mc}) {
        writeLpfpOf(dir.file("x.lpfp"), plain);
        EXPECT_FALSE(lpfpToXmlFiles(dir.file("x.lpfp"), dir.file("app.xml"), dir.file("mc.xml")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("app.xml")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("mc.xml")));
    }

    saveAppConfigXml(pair.app, dir.file("a.xml"));
    saveMcConfigXml(pair.mc, dir.file("m.xml"));
    EXPECT_FALSE(xmlFilesToLpfp(dir.file("a.xml"), dir.file("a.xml"), dir.file("out.lpfp")));
    EXPECT_FALSE(xmlFilesToLpfp(dir.file("m.xml"), dir.file("m.xml"), dir.file("out.lpfp")));
    // A document that is not there is named as unreadable, not taken for one without its tags.
    EXPECT_THROW(xmlFilesToLpfp(dir.file("none.xml"), dir.file("m.xml"), dir.file("out.lpfp")),
                 InputFileError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.lpfp")));
}

TEST_F(LpfpFile, FailedWritesThrowNamingThePathAndKeepWhatWasThere) {
    const LpfpConfiguration pair = distinctPair();
    writeLpfpFile(pair, dir.file("good.lpfp"));
    saveAppConfigXml(pair.app, dir.file("a.xml"));
    saveMcConfigXml(pair.mc, dir.file("m.xml"));
    writeFileBytes(dir.file("plain"), "a regular file");
    std::filesystem::create_directory(dir.file("folder"));
    writeFileBytes(dir.file("folder/inside"), "kept");

    const std::string unwritable[] = {dir.file("missing/x"), dir.file("plain/x"), dir.file("folder")};
    for (const std::string& target : unwritable) {
        auto expectNamed = [&](const std::string& failure) {
            EXPECT_NE(failure.find(target), std::string::npos) << failure;
        };
        expectNamed(failureOf([&] { writeLpfpFile(pair, target); }));
        expectNamed(failureOf([&] { xmlFilesToLpfp(dir.file("a.xml"), dir.file("m.xml"), target); }));
        expectNamed(failureOf([&] { lpfpToXmlFiles(dir.file("good.lpfp"), target, dir.file("m2.xml")); }));
        EXPECT_FALSE(std::filesystem::exists(dir.file("m2.xml")));
        expectNamed(failureOf([&] { lpfpToXmlFiles(dir.file("good.lpfp"), dir.file("a2.xml"), target); }));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    EXPECT_EQ(readFileBytes(dir.file("plain")), "a regular file");
    EXPECT_EQ(readFileBytes(dir.file("folder/inside")), "kept");
    // Nothing half-written is left beside the targets.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    // The two documents are written together or not at all: a2.xml never appears beside a motor
    // document that could not be written.
    EXPECT_FALSE(std::filesystem::exists(dir.file("a2.xml")));
    EXPECT_EQ(entries, 5); // good.lpfp, a.xml, m.xml, plain, folder
}

TEST_F(LpfpFile, ConvertersRefuseWhatWouldNotReadBack) {
    const LpfpConfiguration pair = distinctPair();
    writeLpfpFile(pair, dir.file("old.lpfp"));
    const std::string oldLpfp = readFileBytes(dir.file("old.lpfp"));
    saveAppConfigXml(pair.app, dir.file("a.xml"));
    saveMcConfigXml(pair.mc, dir.file("m.xml"));
    const std::string goodApp = readFileBytes(dir.file("a.xml"));
    const std::string goodMc = readFileBytes(dir.file("m.xml"));

    // A whole document each, but the first end tag of each stands in a comment: the excerpts
    // would stop there.
    auto commented = [](std::string text, const std::string& endTag) {
        const std::size_t at = text.find('>', text.find('<', 40)) + 1; // after the root's start tag
        return text.insert(at, "\n<!-- ends with " + endTag + " -->");
    };
    writeFileBytes(dir.file("bad-a.xml"), commented(goodApp, "</APPConfiguration>"));
    writeFileBytes(dir.file("bad-m.xml"), commented(goodMc, "</MCConfiguration>"));
    const std::string hint = " is not a whole XML element (is one of these tags inside a comment?)";
    EXPECT_EQ(
        failureOf([&] { xmlFilesToLpfp(dir.file("bad-a.xml"), dir.file("m.xml"), dir.file("old.lpfp")); }),
        dir.file("old.lpfp") + " not written: the text from the first <APPConfiguration> to the first " +
            "</APPConfiguration> in " + dir.file("bad-a.xml") + hint);
    EXPECT_EQ(
        failureOf([&] { xmlFilesToLpfp(dir.file("a.xml"), dir.file("bad-m.xml"), dir.file("old.lpfp")); }),
        dir.file("old.lpfp") + " not written: the text from the first <MCConfiguration> to the first " +
            "</MCConfiguration> in " + dir.file("bad-m.xml") + hint);
    EXPECT_EQ(readFileBytes(dir.file("old.lpfp")), oldLpfp);

    // The same documents inside an LPFP file, which parses as a whole: the XML files it would
    // give do not, and neither is written.
    const std::string badAppInside =
        kDeclaration + "\n<LPFP>\n" +
        commented(goodApp, "</APPConfiguration>").substr(kDeclaration.size() + 1) + "\n" +
        goodMc.substr(kDeclaration.size() + 1) + "</LPFP>\n";
    const std::string badMcInside =
        kDeclaration + "\n<LPFP>\n" + goodApp.substr(kDeclaration.size() + 1) + "\n" +
        commented(goodMc, "</MCConfiguration>").substr(kDeclaration.size() + 1) + "</LPFP>\n";
    writeLpfpOf(dir.file("bad-a.lpfp"), badAppInside);
    writeLpfpOf(dir.file("bad-m.lpfp"), badMcInside);
    LpfpConfiguration read;
    std::uint64_t keys = 0;
    EXPECT_TRUE(readLpfpFile(read, dir.file("bad-a.lpfp"), keys)); // the file itself is fine
    writeFileBytes(dir.file("out-a.xml"), "old a");
    writeFileBytes(dir.file("out-m.xml"), "old m");
    EXPECT_EQ(failureOf([&] {
                  lpfpToXmlFiles(dir.file("bad-a.lpfp"), dir.file("out-a.xml"), dir.file("out-m.xml"));
              }),
              dir.file("out-a.xml") +
                  " not written: the text from the first <APPConfiguration> to the first " +
                  "</APPConfiguration> in " + dir.file("bad-a.lpfp") + hint);
    EXPECT_EQ(failureOf([&] {
                  lpfpToXmlFiles(dir.file("bad-m.lpfp"), dir.file("out-a.xml"), dir.file("out-m.xml"));
              }),
              dir.file("out-m.xml") +
                  " not written: the text from the first <MCConfiguration> to the first " +
                  "</MCConfiguration> in " + dir.file("bad-m.lpfp") + hint);
    EXPECT_EQ(readFileBytes(dir.file("out-a.xml")), "old a");
    EXPECT_EQ(readFileBytes(dir.file("out-m.xml")), "old m");

    // Comments elsewhere, even holding the other record's tags, are copied as they stand.
    std::string harmless = goodApp;
    harmless.insert(harmless.find("<controller_id>"), "<!-- <MCConfiguration> -->");
    writeFileBytes(dir.file("harmless.xml"), harmless);
    EXPECT_TRUE(xmlFilesToLpfp(dir.file("harmless.xml"), dir.file("m.xml"), dir.file("new.lpfp")));
    EXPECT_NE(decodedFile(dir.file("new.lpfp")).find("<!-- <MCConfiguration> -->"), std::string::npos);
    EXPECT_TRUE(readLpfpFile(read, dir.file("new.lpfp"), keys));
    EXPECT_EQ(keys, 306u);
}

TEST_F(LpfpFile, ValueCheckCoversBothDocumentsOfThePair) {
    LpfpConfiguration pair;
    pair.app = simulatorDefaultAppConfig();
    pair.mc = simulatorDefaultMcConfig();
    std::string plain = buildLpfpText(pair);
    auto replaceValue = [&](const std::string& key, const std::string& text) {
        const std::string open = "<" + key + ">";
        const std::size_t at = plain.find(open) + open.size();
        plain.replace(at, plain.find('<', at) - at, text);
    };
    replaceValue("controller_id", "300");
    replaceValue("app_ppm_conf.tc", "true");
    replaceValue("si_battery_cells", "-1");
    replaceValue("bms.t_limit_start", "400");
    std::vector<std::string> lines;
    for (const auto& v : checkLpfpValues(plain)) {
        lines.push_back(std::string(v.record) + " " + describeViolation(v));
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "APPConfiguration controller_id: \"300\" (allowed: a whole number from 0 to 255)",
                  "APPConfiguration app_ppm_conf.tc: \"true\" (allowed: 0 or 1)",
                  "MCConfiguration si_battery_cells: \"-1\" (allowed: a whole number from 0 to 255)",
                  "MCConfiguration bms.t_limit_start: \"400\" (allowed: a decimal number from -327.68 to "
                  "327.67)"}));
    // Texts that are no pair are left to the readers.
    EXPECT_TRUE(checkLpfpValues("not xml").empty());
    EXPECT_TRUE(checkLpfpValues("<LPFP/>").empty());
}

TEST_F(LpfpFile, FilesWrittenFromControllerRecordsPassTheValueCheck) {
    LpfpConfiguration simulated;
    simulated.app = simulatorDefaultAppConfig();
    simulated.mc = simulatorDefaultMcConfig();
    for (const LpfpConfiguration& pair : {simulated, LpfpConfiguration{}}) {
        writeLpfpFile(pair, dir.file("saved.lpfp"));
        const std::string plain = decodedFile(dir.file("saved.lpfp"));
        EXPECT_TRUE(checkLpfpValues(plain).empty()) << describeViolation(checkLpfpValues(plain).front());
        // And through the converter into XML files and back.
        ASSERT_TRUE(lpfpToXmlFiles(dir.file("saved.lpfp"), dir.file("a.xml"), dir.file("m.xml")));
        ASSERT_TRUE(xmlFilesToLpfp(dir.file("a.xml"), dir.file("m.xml"), dir.file("again.lpfp")));
        EXPECT_TRUE(checkLpfpValues(decodedFile(dir.file("again.lpfp"))).empty());
    }
}

} // namespace
