#!/usr/bin/env python3
"""Checks the JSON documents that the Windows test programs kept (they cannot run python3
under wine) against the schemas in docs/: a file <schema>--<test>-<n>.json against
docs/<schema>. Usage: check_schema_documents.py SOURCE_DIR FOLDER. An absent folder holds no
documents."""
import json
import pathlib
import sys

import jsonschema


def main() -> int:
    source, folder = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    documents = sorted(folder.glob("*.json")) if folder.is_dir() else []
    failed = 0
    for document in documents:
        schema = source / "docs" / document.name.split("--", 1)[0]
        try:
            jsonschema.validate(json.loads(document.read_text(encoding="utf-8")),
                                json.loads(schema.read_text(encoding="utf-8")))
        except (OSError, ValueError, jsonschema.ValidationError, jsonschema.SchemaError) as error:
            print(f"FAILED: {document.name}: {getattr(error, 'message', error)}")
            failed += 1
    print(f"{len(documents) - failed} of {len(documents)} documents follow their schemas")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
