#!/usr/bin/env python3
"""Keeps what the README, docs/ and the manual pages claim, where a script can check it, true:

- every relative link points to a file that exists;
- every script they name exists and is executable;
- every VARKO5_ variable they name is read somewhere in the build, the code or the scripts;
- every option shown on an lpfp_cli or lpfp_sim command line, in the option table of
  docs/cli.md and in the lpfp_cli manual page is one that program's --help lists;
- every scenario key and fault lpfp_sim --help lists is in lpfp_sim(1) and docs/backends.md;
- the manual pages list the environment variables their programs read.

Usage: check_docs.py SOURCE_DIR LPFP_CLI LPFP_SIM
"""

import os
import re
import subprocess
import sys

failures = []


def fail(message):
    failures.append(message)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def help_text(program):
    env = {k: v for k, v in os.environ.items() if k not in ("VARKO5_SIMULATOR", "VARKO5_PORTS")}
    result = subprocess.run([program, "--help"], capture_output=True, text=True, env=env, timeout=60)
    if result.returncode != 0:
        fail(f"{program} --help ended with status {result.returncode}")
    return result.stdout


def options_of(help_output):
    return set(re.findall(r"(?<![\w-])(--?[A-Za-z?][\w-]*)", help_output))


def documents(source):
    paths = [os.path.join(source, "README.md")]
    docs = os.path.join(source, "docs")
    paths += sorted(os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))
    return paths


def man_sources(source):
    folder = os.path.join(source, "packaging", "man")
    return sorted(os.path.join(folder, name) for name in os.listdir(folder))


def check_links(source, path):
    text = read(path)
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target) or target.startswith("#"):
            continue
        file_part = target.split("#", 1)[0]
        resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part))
        if not os.path.exists(resolved):
            fail(f"{os.path.relpath(path, source)}: link to missing {target}")


def check_scripts(source, path):
    for script in set(re.findall(r"(?<![\w/])(?:\./)?(scripts/[\w.-]+\.sh)", read(path))):
        full = os.path.join(source, script)
        if not os.path.isfile(full) or not os.access(full, os.X_OK):
            fail(f"{os.path.relpath(path, source)}: {script} does not exist or is not executable")


def code_text(source):
    """Everything a variable can be read from: code, build files, scripts, packaging."""
    skip = {"build", ".git", "docs"}
    chunks = []
    for root, dirs, files in os.walk(source):
        rel = os.path.relpath(root, source)
        if rel.split(os.sep)[0] in skip or rel.startswith(os.path.join("packaging", "man")):
            dirs[:] = []
            continue
        for name in files:
            if name.endswith((".cpp", ".h", ".sh", ".cmake", ".txt", ".in", ".py", ".json", ".rules")) or name == "run":
                if name == "check_docs.py" or name == "README.md":
                    continue
                try:
                    chunks.append(read(os.path.join(root, name)))
                except UnicodeDecodeError:
                    pass
    return "\n".join(chunks)


def check_variables(source, path, code):
    for variable in sorted(set(re.findall(r"\bVARKO5_[A-Z0-9_]*[A-Z0-9]\b", read(path)))):
        if variable not in code:
            fail(f"{os.path.relpath(path, source)}: {variable} is read nowhere in the code")


# A command line of ours inside a document: the program's name, then its arguments up to the
# end of the code span, a comment, a pipe or the end of the line.
def command_lines(text, program):
    for line in text.splitlines():
        for match in re.finditer(r"(?<![\w/.-])" + program + r"(?![\w.-])([^`#|;&\n]*)", line):
            yield line, match.group(1)


def check_command_options(source, path, program, known):
    text = read(path)
    if path.endswith(".in"):
        text = text.replace("\\-", "-")
    for line, arguments in command_lines(text, program):
        for option in re.findall(r"(?<![\w-])(--?[A-Za-z?][\w-]*)", arguments):
            # "lpfp_cli ... -o unit42" and the like; "-" inside a value is no option.
            if option not in known:
                fail(f"{os.path.relpath(path, source)}: {program} has no option {option}: {line.strip()}")


def check_cli_table(source, known):
    path = os.path.join(source, "docs", "cli.md")
    for line in read(path).splitlines():
        if line.startswith("| `-"):
            cell = line.split("|")[1]
            for option in re.findall(r"`(--?[A-Za-z?][\w-]*)", cell):
                if option not in known:
                    fail(f"docs/cli.md: the option table lists {option}, which lpfp_cli --help does not")


def check_cli_man(source, known):
    path = os.path.join(source, "packaging", "man", "lpfp_cli.h2m.in")
    for option in set(re.findall(r"\\-\\-([A-Za-z][\w]*)", read(path))):
        if "--" + option not in known:
            fail(f"lpfp_cli.h2m.in: names --{option}, which lpfp_cli --help does not")


def check_scenario_keys(source, sim_help):
    keys = re.findall(r"^  ([a-z_]+)=", sim_help.split("Scenario keys:", 1)[-1].split("Faults", 1)[0], re.M)
    faults = re.findall(r"^  ([a-z_]+)  ", sim_help.split("Faults", 1)[-1].split("Exit status", 1)[0], re.M)
    if len(keys) < 15 or len(faults) < 15:
        fail(f"lpfp_sim --help lists {len(keys)} scenario keys and {len(faults)} faults")
    man = read(os.path.join(source, "packaging", "man", "lpfp_sim.1.in")).replace("\\-", "-")
    backends = read(os.path.join(source, "docs", "backends.md"))
    for key in keys:
        if not re.search(r"^\.BI " + key + "= ", man, re.M):
            fail(f"lpfp_sim(1) does not list the scenario key {key}")
        if "| `" + key + "=" not in backends:
            fail(f"docs/backends.md does not list the scenario key {key}")
    for fault in faults:
        if not re.search(r"^\.B " + fault + "$", man, re.M):
            fail(f"lpfp_sim(1) does not list the fault {fault}")
        if "`" + fault + "`" not in backends:
            fail(f"docs/backends.md does not list the fault {fault}")


def check_man_environment(source):
    wanted = {
        "lpfp_cli.h2m.in": ["VARKO5_BAUD", "VARKO5_PORTS", "VARKO5_SIMULATOR", "XDG_DATA_HOME"],
        "lpfp_loader.1.in": ["VARKO5_ADVANCED", "VARKO5_BAUD", "VARKO5_PORTS", "VARKO5_SIMULATOR", "XDG_DATA_HOME"],
        "lpfp_sim.1.in": ["VARKO5_SIMULATOR"],
    }
    for page, variables in wanted.items():
        text = read(os.path.join(source, "packaging", "man", page))
        environment = re.split(r"^(?:\.SH ENVIRONMENT|\[ENVIRONMENT\])$", text, flags=re.M)
        if len(environment) < 2:
            fail(f"{page}: no ENVIRONMENT section")
            continue
        section = re.split(r"^(?:\.SH |\[)", environment[1], flags=re.M)[0]
        for variable in variables:
            if not re.search(r"^\.B " + variable + "$", section, re.M):
                fail(f"{page}: ENVIRONMENT does not describe {variable}")


def main():
    source, cli, sim = sys.argv[1:4]
    cli_options = options_of(help_text(cli))
    sim_help = help_text(sim)
    sim_options = options_of(sim_help.split("Scenario keys:", 1)[0])
    if "--help" not in cli_options or "--version" not in cli_options:
        fail("lpfp_cli --help lists neither --help nor --version")
    code = code_text(source)
    for path in documents(source) + man_sources(source):
        if path.endswith(".md"):
            check_links(source, path)
        check_scripts(source, path)
        check_variables(source, path, code)
        check_command_options(source, path, "lpfp_cli", cli_options)
        check_command_options(source, path, "lpfp_sim", sim_options)
    check_cli_table(source, cli_options)
    check_cli_man(source, cli_options)
    check_scenario_keys(source, sim_help)
    check_man_environment(source)
    for message in failures:
        print("FAILED:", message)
    if failures:
        return 1
    print("Every checked claim of the README, docs/ and the manual pages holds.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
