// lpfp_cli_option_docs: writes what is made from lpfp_cli's option table for the packages:
//   --man              the manual page's option list (roff .TP paragraphs)
//   --bash-completion  the bash completion script for lpfp_cli
// The build runs it (see cli/CMakeLists.txt), so neither can fall behind the options.

#include "cli/options.h"

#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
    const std::string what = argc == 2 ? argv[1] : "";
    if (what == "--man")
        std::cout << manPageOptions();
    else if (what == "--bash-completion")
        std::cout << bashCompletion("lpfp_cli");
    else {
        std::cerr << "Usage: lpfp_cli_option_docs --man | --bash-completion\n";
        return 1;
    }
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
}
