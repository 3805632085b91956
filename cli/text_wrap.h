#pragma once
// Fitting the usage text to the reader's screen.

#include <cstddef>
#include <string>

// The text with every line longer than width broken at blanks: a line that holds bracketed
// option groups ("[--test] [--diff <a> <b>]") breaks only before a "[", so a group stays whole,
// and its continuation lines line up after the program name; any other line continues at its
// own indentation. A word longer than a line stays whole.
std::string wrapText(const std::string& text, std::size_t width);

// The width usage text is wrapped to: the terminal's when standard output is one, 80 otherwise.
std::size_t outputWidth();
