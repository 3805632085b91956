#include "core/ops/config_source.h"

#include "core/config/config_xml.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace {

// Sets how long an input may stay silent, for as long as the object lives.
class ScopedTimeout {
public:
    explicit ScopedTimeout(const char* milliseconds) { ::setenv("VARKO5_INPUT_TIMEOUT_MS", milliseconds, 1); }
    ~ScopedTimeout() { ::unsetenv("VARKO5_INPUT_TIMEOUT_MS"); }
    ScopedTimeout(const ScopedTimeout&) = delete;
    ScopedTimeout& operator=(const ScopedTimeout&) = delete;
};

void expectSourceError(const SourceDescription& source, const std::string& message) {
    try {
        loadFileSource(source);
        ADD_FAILURE() << "no error for " << source.text;
    } catch (const SourceError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

// The check without reading refuses exactly what reading refuses, with the same message.
void expectCheckError(const std::string& path, const std::string& message) {
    try {
        checkLpfpFile(path);
        ADD_FAILURE() << "no error for " << path;
    } catch (const SourceError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

void expectSpecError(const std::string& text) {
    EXPECT_THROW(parseSource(text), SourceError) << text;
}

TEST(ConfigSource, SpecSyntax) {
    auto source = parseSource("device:current");
    EXPECT_EQ(source.kind, SourceKind::DeviceCurrent);
    EXPECT_TRUE(isDeviceSource(source));
    EXPECT_EQ(parseSource("device:default").kind, SourceKind::DeviceDefault);

    source = parseSource("dir/a.xml,b.xml");
    EXPECT_EQ(source.kind, SourceKind::XmlFiles);
    EXPECT_EQ(source.paths, (std::vector<std::string>{"dir/a.xml", "b.xml"}));
    EXPECT_FALSE(isDeviceSource(source));

    source = parseSource("one.xml");
    EXPECT_EQ(source.kind, SourceKind::XmlFiles);
    EXPECT_EQ(source.paths, (std::vector<std::string>{"one.xml"}));

    EXPECT_EQ(parseSource("saved.lpfp").kind, SourceKind::LpfpFile);
    EXPECT_EQ(parseSource("SAVED.LPFP").kind, SourceKind::LpfpFile);
    EXPECT_EQ(parseSource(".lpfp").kind, SourceKind::LpfpFile);
    EXPECT_EQ(parseSource("lpfp").kind, SourceKind::XmlFiles);

    expectSpecError("");
    expectSpecError("device:");
    expectSpecError("device:factory");
    expectSpecError("a.xml,");
    expectSpecError(",b.xml");
    expectSpecError("a.xml,b.xml,c.xml");
}

class ConfigSourceFiles : public ::testing::Test {
protected:
    ConfigSourceFiles() {
        app.controller_id = 9;
        mc.l_current_max = 77.0f;
        saveAppConfigXml(app, dir.file("app.xml"));
        saveMcConfigXml(mc, dir.file("mc.xml"));
        LpfpConfiguration pair{app, mc};
        writeLpfpFile(pair, dir.file("both.lpfp"));
    }
    SourceDescription source(const std::string& text) { return parseSource(text); }
    std::string path(const std::string& name) { return dir.file(name); }

    TempDir dir;
    APPConfiguration app{};
    MCConfiguration mc{};
};

TEST_F(ConfigSourceFiles, PairOfDocumentsInEitherOrder) {
    for (const auto& text :
         {path("app.xml") + "," + path("mc.xml"), path("mc.xml") + "," + path("app.xml")}) {
        const auto set = loadFileSource(source(text));
        EXPECT_TRUE(set.hasApp);
        EXPECT_TRUE(set.hasMc);
        EXPECT_EQ(set.records.app.controller_id, 9);
        EXPECT_FLOAT_EQ(set.records.mc.l_current_max, 77.0f);
    }
}

TEST_F(ConfigSourceFiles, SingleDocumentHoldsOnlyItsRecord) {
    const auto appOnly = loadFileSource(source(path("app.xml")));
    EXPECT_TRUE(appOnly.hasApp);
    EXPECT_FALSE(appOnly.hasMc);
    EXPECT_EQ(appOnly.records.app.controller_id, 9);
    const auto mcOnly = loadFileSource(source(path("mc.xml")));
    EXPECT_FALSE(mcOnly.hasApp);
    EXPECT_TRUE(mcOnly.hasMc);
}

TEST_F(ConfigSourceFiles, PartialDocumentLeavesMissingKeysZero) {
    writeFileBytes(path("few.xml"), "<MCConfiguration><l_max_vin>48</l_max_vin></MCConfiguration>");
    LogCapture log;
    const auto set = loadFileSource(source(path("few.xml")));
    EXPECT_FLOAT_EQ(set.records.mc.l_max_vin, 48.0f);
    EXPECT_FLOAT_EQ(set.records.mc.l_current_max, 0.0f);
    EXPECT_EQ(log.texts(spdlog::level::warn).size(), 156u);
}

TEST_F(ConfigSourceFiles, LpfpFileHoldsBothRecords) {
    {
        LogCapture log;
        checkLpfpFile(path("both.lpfp"));
        EXPECT_TRUE(log.texts().empty());
    }
    const auto set = loadFileSource(source(path("both.lpfp")));
    EXPECT_TRUE(set.hasApp);
    EXPECT_TRUE(set.hasMc);
    EXPECT_EQ(set.records.app.controller_id, 9);
    EXPECT_FLOAT_EQ(set.records.mc.l_current_max, 77.0f);
}

TEST_F(ConfigSourceFiles, UnreadableSourcesAreRefusedWithTheReason) {
    expectSourceError(source(path("absent.xml")), "Cannot read file " + path("absent.xml"));
    expectSourceError(source(path("absent.lpfp")), "Cannot read file " + path("absent.lpfp"));
    expectSourceError(source(dir.path().string()),
                      "Cannot read file " + dir.path().string() + ": it is a folder");

    std::string damaged = readFileBytes(path("both.lpfp"));
    damaged[0] = damaged[0] == 'A' ? 'B' : 'A';
    writeFileBytes(path("damaged.lpfp"), damaged);
    expectSourceError(source(path("damaged.lpfp")), path("damaged.lpfp") + ": Checksum Fail");
    expectCheckError(path("damaged.lpfp"), path("damaged.lpfp") + ": Checksum Fail");
    damaged[0] = '*';
    writeFileBytes(path("bad64.lpfp"), damaged);
    expectSourceError(source(path("bad64.lpfp")), path("bad64.lpfp") + ": Decoding Failed.");
    expectCheckError(path("bad64.lpfp"), path("bad64.lpfp") + ": Decoding Failed.");

    // Intact framing but no configuration inside.
    writeFileBytes(path("empty.lpfp"), "FFFF");
    expectSourceError(source(path("empty.lpfp")), path("empty.lpfp") + ": Invalid Configuration File");
    expectCheckError(path("empty.lpfp"), path("empty.lpfp") + ": Invalid Configuration File");
    expectCheckError(path("absent.lpfp"), "Cannot read file " + path("absent.lpfp"));
    // Only the application document inside: reading fills it but still refuses the file.
    writeFileBytes(path("half.lpfp"), encodeLpfp("<LPFP>" + appConfigToXml(app) + "</LPFP>"));
    expectCheckError(path("half.lpfp"), path("half.lpfp") + ": Invalid Configuration File");
    expectSourceError(source(path("half.lpfp")), path("half.lpfp") + ": Invalid Configuration File");

    writeFileBytes(path("other.xml"), "<Other/>");
    expectSourceError(source(path("other.xml")), "Not a valid configuration XML file: " + path("other.xml"));
    writeFileBytes(path("broken.xml"), "<MCConfiguration>");
    expectSourceError(source(path("broken.xml")),
                      "Not a valid configuration XML file: " + path("broken.xml"));
    expectSourceError(source(path("app.xml") + "," + path("app.xml")),
                      "Two APPConfiguration documents given: " + path("app.xml"));
    expectSourceError(source(path("mc.xml") + "," + path("mc.xml")),
                      "Two MCConfiguration documents given: " + path("mc.xml"));
}

TEST(XmlRecordName, ComesFromTheRoot) {
    EXPECT_EQ(xmlRecordNameOf("<?xml version=\"1.0\"?>\n<APPConfiguration><a>1</a></APPConfiguration>"),
              "APPConfiguration");
    EXPECT_EQ(xmlRecordNameOf("<MCConfiguration/>"), "MCConfiguration");
    // An LPFP file's text, an empty (or missing) file, a broken document, another root, a root
    // in other letters: none names a record.
    EXPECT_EQ(xmlRecordNameOf("PExQRlA+PC9MUEZQPg==1A2B"), "");
    EXPECT_EQ(xmlRecordNameOf(""), "");
    EXPECT_EQ(xmlRecordNameOf("<MCConfiguration>"), "");
    EXPECT_EQ(xmlRecordNameOf("<Other/>"), "");
    EXPECT_EQ(xmlRecordNameOf("<mcconfiguration/>"), "");
}

#ifndef _WIN32 // FIFOs and /dev: POSIX only
TEST_F(ConfigSourceFiles, PipesServeAsFilesDoAndOtherKindsAreRefused) {
    // A FIFO whose writer hands over the document, as "<(cat app.xml)" would.
    const std::string fifo = path("app.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string document = readFileBytes(path("app.xml"));
    std::thread writer([&] {
        std::ofstream out(fifo, std::ios::binary);
        out << document;
    });
    const auto set = loadFileSource(source(fifo));
    writer.join();
    EXPECT_TRUE(set.hasApp);
    EXPECT_EQ(set.records.app.controller_id, 9);

    expectSourceError(source("/dev/null"), "Cannot read file /dev/null: it is a device, not a file");
    expectCheckError("/dev/zero", "Cannot read file /dev/zero: it is a device, not a file");
    // Nobody writes: given up after the wait rather than waited for.
    const ScopedTimeout shortWait("100");
    expectSourceError(source(fifo), "Cannot read file " + fifo + ": nothing arrived within 0.1 s");
}
#endif

TEST_F(ConfigSourceFiles, ValuesTheReadersHadToNarrowAreNoted) {
    writeFileBytes(path("odd.xml"), "<APPConfiguration><controller_id>300</controller_id>"
                                    "<pairing_done>true</pairing_done><timeout_msec>5</timeout_msec>"
                                    "</APPConfiguration>");
    LogCapture quiet(spdlog::level::err);
    const auto set = loadFileSource(source(path("odd.xml")));
    EXPECT_EQ(set.records.app.controller_id, 44);
    EXPECT_EQ(
        set.narrowed,
        (std::vector<std::string>{
            path("odd.xml") + ": controller_id: \"300\" (allowed: a whole number from 0 to 255), read as 44",
            path("odd.xml") + ": pairing_done: \"true\" (allowed: 0 or 1), read as 0"}));

    LpfpConfiguration pair{app, mc};
    std::string plain = buildLpfpText(pair);
    const std::string open = "<si_battery_cells>";
    const std::size_t at = plain.find(open) + open.size();
    plain.replace(at, plain.find('<', at) - at, "-1");
    writeFileBytes(path("odd.lpfp"), encodeLpfp(plain));
    EXPECT_EQ(loadFileSource(source(path("odd.lpfp"))).narrowed,
              std::vector<std::string>{
                  path("odd.lpfp") +
                  ": si_battery_cells: \"-1\" (allowed: a whole number from 0 to 255), read as -1"});
    EXPECT_TRUE(loadFileSource(source(path("app.xml") + "," + path("mc.xml"))).narrowed.empty());
}

} // namespace
