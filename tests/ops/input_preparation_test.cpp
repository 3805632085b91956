// The one preparation of inputs: what it reads, what it recognises and the exact problem it
// names, for every way an input can be unfit.

#include "core/ops/input_preparation.h"

#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/lpfp/lpfp.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(InputPreparation, AnXmlDocumentIsReadOnceAndKeptForTheApply) {
    TempDir dir;
    const std::string path = dir.file("a.app.xml");
    const std::string text = "<APPConfiguration><controller_id>9</controller_id></APPConfiguration>";
    writeFileBytes(path, text);
    int reads = 0;
    const PreparedInput prepared = prepareXmlInput(path, RecordKind::App, [&](const std::string& p) {
        ++reads;
        return readInputFile(p);
    });
    EXPECT_TRUE(prepared.ok());
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(prepared.input.path, path);
    EXPECT_EQ(prepared.input.text, text);
    EXPECT_EQ(prepared.record, RecordKind::App);
    EXPECT_TRUE(prepared.reason.empty());
}

TEST(InputPreparation, AnXmlDocumentOfAnotherRecordOrNoneIsNotTheRecord) {
    TempDir dir;
    const std::string mc = dir.file("m.xml");
    writeFileBytes(mc, "<MCConfiguration/>");
    EXPECT_EQ(prepareXmlInput(mc, RecordKind::App).problem, InputProblem::NotTheRecord);
    // The record it holds instead is named, so that the user is told which file was picked.
    EXPECT_EQ(prepareXmlInput(mc, RecordKind::App).foundRecord, MC_ROOT);
    EXPECT_TRUE(prepareXmlInput(mc, RecordKind::Mc).ok());
    EXPECT_TRUE(prepareXmlInput(mc, RecordKind::Mc).foundRecord.empty());
    const std::string broken = dir.file("b.xml");
    writeFileBytes(broken, "<MCConfiguration>");
    EXPECT_EQ(prepareXmlInput(broken, RecordKind::Mc).problem, InputProblem::NotTheRecord);
    EXPECT_TRUE(prepareXmlInput(broken, RecordKind::Mc).foundRecord.empty());
    // A missing file is no document, whichever reader is used.
    EXPECT_EQ(prepareXmlInput(dir.file("none.xml"), RecordKind::Mc).problem, InputProblem::NotTheRecord);
    EXPECT_EQ(prepareXmlInput(dir.file("none.xml"), RecordKind::Mc, readFileText).problem,
              InputProblem::NotTheRecord);
    EXPECT_NE(prepareXmlInput(dir.file("none.xml"), RecordKind::Mc).errorNumber, 0);
    // What is no file at all keeps the reading failure's words.
    const PreparedInput folder = prepareXmlInput(dir.path().string(), RecordKind::App);
    EXPECT_EQ(folder.problem, InputProblem::Unreadable);
    EXPECT_EQ(folder.reason.rfind("Cannot read file " + dir.path().string() + ": ", 0), 0u) << folder.reason;
    EXPECT_EQ(folder.errorNumber, 0);
}

TEST(InputPreparation, ValuesTheControllerCannotTakeAreListedWithTheTextKept) {
    TempDir dir;
    const std::string path = dir.file("v.xml");
    writeFileBytes(path, "<MCConfiguration><si_motor_poles>many</si_motor_poles></MCConfiguration>");
    const PreparedInput prepared = prepareXmlInput(path, RecordKind::Mc);
    EXPECT_EQ(prepared.problem, InputProblem::ValuesRefused);
    ASSERT_EQ(prepared.violations.size(), 1u);
    EXPECT_EQ(prepared.violations[0].key, "si_motor_poles");
    EXPECT_FALSE(prepared.input.text.empty());
}

TEST(InputPreparation, AnLpfpFileIsDecodedAndMustHoldBothDocuments) {
    TempDir dir;
    const std::string good = dir.file("good.lpfp");
    writeLpfpFile(LpfpConfiguration{}, good);
    const PreparedInput prepared = prepareLpfpInput(good);
    EXPECT_TRUE(prepared.ok()) << prepared.reason;
    EXPECT_EQ(prepared.record, RecordKind::None);
    EXPECT_EQ(prepared.input.text, readFileText(good));

    const std::string damaged = dir.file("damaged.lpfp");
    std::string text = readFileText(good);
    text.back() = text.back() == '0' ? '1' : '0';
    writeFileBytes(damaged, text);
    EXPECT_EQ(prepareLpfpInput(damaged).problem, InputProblem::Damaged);
    EXPECT_EQ(prepareLpfpInput(damaged).reason, "Checksum Fail");

    text = readFileText(good);
    text[0] = '*';
    writeFileBytes(damaged, text);
    EXPECT_EQ(prepareLpfpInput(damaged).reason, "Decoding Failed.");

    // Intact, but without the documents: exactly the four characters of the empty body's CRC.
    writeFileBytes(damaged, "FFFF");
    EXPECT_EQ(prepareLpfpInput(damaged).problem, InputProblem::Damaged);
    EXPECT_EQ(prepareLpfpInput(damaged).reason, INVALID_CONFIGURATION_FILE);

    // Missing: unreadable, with the reader's words and the system's error number.
    const std::string missing = dir.file("missing.lpfp");
    const PreparedInput gone = prepareLpfpInput(missing);
    EXPECT_EQ(gone.problem, InputProblem::Unreadable);
    EXPECT_EQ(gone.reason.rfind("Cannot read file " + missing + ": ", 0), 0u) << gone.reason;
    EXPECT_EQ(gone.errorNumber, ENOENT);
}

TEST(InputPreparation, AnyConfigurationFileIsRecognisedByItsExtensionThenItsRoot) {
    TempDir dir;
    const std::string lpfp = dir.file("pair.LPFP");
    LpfpConfiguration pair{};
    pair.app.controller_id = 7;
    pair.mc.si_motor_poles = 14;
    writeLpfpFile(pair, lpfp);
    const PreparedInput both = prepareConfigurationInput(lpfp);
    ASSERT_TRUE(both.ok()) << both.reason;
    EXPECT_EQ(both.record, RecordKind::None);

    const std::string app = dir.file("a.xml");
    writeFileBytes(app, "<APPConfiguration><controller_id>9</controller_id></APPConfiguration>");
    EXPECT_EQ(prepareConfigurationInput(app).record, RecordKind::App);
    const std::string mc = dir.file("m.xml");
    writeFileBytes(mc, "<MCConfiguration><si_motor_poles>4</si_motor_poles></MCConfiguration>");
    EXPECT_EQ(prepareConfigurationInput(mc).record, RecordKind::Mc);

    const std::string other = dir.file("o.xml");
    writeFileBytes(other, "<Something/>");
    EXPECT_EQ(prepareConfigurationInput(other).problem, InputProblem::NotTheRecord);
    EXPECT_EQ(prepareConfigurationInput(dir.file("none.xml")).problem, InputProblem::NotTheRecord);
    // An LPFP name that is not there keeps the reading failure.
    EXPECT_EQ(prepareConfigurationInput(dir.file("none.lpfp")).problem, InputProblem::Unreadable);
    // A damaged one keeps the decoder's words.
    writeFileBytes(dir.file("bad.lpfp"), "FFFF");
    EXPECT_EQ(prepareConfigurationInput(dir.file("bad.lpfp")).reason, INVALID_CONFIGURATION_FILE);
}

TEST(InputPreparation, ThePreparedRecordsAreWrittenOverWhatWasThere) {
    TempDir dir;
    LpfpConfiguration base{};
    base.app.controller_id = 3;
    base.mc.si_motor_poles = 6;

    // An XML document writes its own record, keys it leaves out keep their values.
    const std::string app = dir.file("a.xml");
    writeFileBytes(app, "<APPConfiguration><controller_id>9</controller_id></APPConfiguration>");
    LpfpConfiguration records = base;
    ASSERT_TRUE(readPreparedRecords(prepareConfigurationInput(app), records));
    EXPECT_EQ(records.app.controller_id, 9);
    EXPECT_EQ(records.mc.si_motor_poles, 6);

    // An LPFP file writes both.
    LpfpConfiguration pair{};
    pair.app.controller_id = 11;
    pair.mc.si_motor_poles = 22;
    const std::string lpfp = dir.file("p.lpfp");
    writeLpfpFile(pair, lpfp);
    records = base;
    ASSERT_TRUE(readPreparedRecords(prepareConfigurationInput(lpfp), records));
    EXPECT_EQ(records.app.controller_id, 11);
    EXPECT_EQ(records.mc.si_motor_poles, 22);

    // Values the controller refuses are narrowed as the readers narrow them.
    const std::string refused = dir.file("v.xml");
    writeFileBytes(refused, "<MCConfiguration><si_motor_poles>many</si_motor_poles></MCConfiguration>");
    const PreparedInput narrowed = prepareConfigurationInput(refused);
    ASSERT_EQ(narrowed.problem, InputProblem::ValuesRefused);
    records = base;
    EXPECT_TRUE(readPreparedRecords(narrowed, records));

    // An input that is unfit for other reasons leaves the records alone.
    const std::string other = dir.file("o.xml");
    writeFileBytes(other, "<Something/>");
    records = base;
    EXPECT_FALSE(readPreparedRecords(prepareConfigurationInput(other), records));
    EXPECT_EQ(records.app.controller_id, 3);
    EXPECT_EQ(records.mc.si_motor_poles, 6);
}

} // namespace

TEST(InputsReadOnce, EachInputIsReadOnceAndItsFailureKept) {
    TempDir dir;
    const std::string path = dir.file("app.xml");
    writeFileBytes(path, "<APPConfiguration/>");
    InputsReadOnce inputs;
    const InputReader read = inputs.reader();
    EXPECT_EQ(read(path), "<APPConfiguration/>");
    // What a later asker gets is what the first read, as a pipe would give it only once.
    writeFileBytes(path, "<MCConfiguration/>");
    EXPECT_EQ(inputs.read(path), "<APPConfiguration/>");
    EXPECT_EQ(prepareXmlInput(path, RecordKind::App, read).input.text, "<APPConfiguration/>");

    // A file that was not there stays not there for the run, with the system's error number.
    const std::string missing = dir.file("missing.xml");
    int first = 0;
    try {
        inputs.read(missing);
    } catch (const InputFileError& error) {
        first = error.errorNumber();
    }
    EXPECT_EQ(first, ENOENT);
    writeFileBytes(missing, "<MCConfiguration/>");
    EXPECT_THROW(read(missing), InputFileError);
    // Another run reads afresh.
    EXPECT_EQ(InputsReadOnce{}.read(missing), "<MCConfiguration/>");
}
