#pragma once
// Checks a JSON document lpfp_cli wrote against one of the schemas published in docs/, with
// python3-jsonschema.

#include <string>

// schema is the file name under docs/ ("lpfp_cli-result.schema.json"). On Linux the check runs
// at once. A Windows test program cannot run the build machine's python3, so there the
// document is kept in VARKO5_SCHEMA_DOCUMENTS and ctest checks every kept document once the
// tests that kept them are done (tests/docs/check_schema_documents.py).
void expectFollowsSchema(const std::string& document, const std::string& schema);
