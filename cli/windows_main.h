#pragma once
// What lpfp_cli's entry does differently on Windows, so that it behaves as on Linux.

#include <string>
#include <vector>

// Standard input, output and error in binary mode (single line feeds, bytes as written), UTF-8
// on the console, and log lines into the same buffered stream as the reports when standard
// output is not a console, so that the two keep their order.
void prepareWindowsStreams();
// The arguments after the program's name, as UTF-8 (the narrow argv holds the ANSI code page).
std::vector<std::string> windowsArguments();
// The program's name as a user types it ("lpfp_cli"), not the full path Windows passes.
std::string windowsProgramName(const std::string& argv0);
