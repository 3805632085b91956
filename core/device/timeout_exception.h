#pragma once

#include <exception>

// The bridge or the controller did not answer in time.
class timeout_exception : public std::exception {};
