#include "tests/support/schema_check.h"

#include "tests/support/temp_dir.h"

#include "core/config/file_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

void expectFollowsSchema(const std::string& document, const std::string& schema) {
#ifdef _WIN32
    // Kept as <schema>--<test>-<n>.json, so that every kept document names its schema and
    // the test that made it.
    static int kept = 0;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = schema + "--" +
                             (test != nullptr ? std::string(test->test_suite_name()) + "." + test->name()
                                              : std::string("outside-a-test")) +
                             "-" + std::to_string(++kept) + ".json";
    const std::filesystem::path folder = pathFromUtf8(VARKO5_SCHEMA_DOCUMENTS);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::filesystem::copy_file(pathFromUtf8(document), folder / pathFromUtf8(name),
                               std::filesystem::copy_options::overwrite_existing, error);
    EXPECT_FALSE(error) << "cannot keep " << document << " for its schema check: " << error.message();
#else
    const char* source = std::getenv("VARKO5_TEST_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string command =
        "python3 -c 'import json,sys,jsonschema; "
        "jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))' '" +
        document + "' '" + std::string(source) + "/docs/" + schema + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFileBytes(document);
#endif
}
