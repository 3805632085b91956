#pragma once
// The body of each fuzz target: one input in, and a crash, a sanitizer report or an abort
// when something is wrong. The libFuzzer programs call them from entry.cpp; the test suite
// replays the seed corpora and every input that once failed through the same functions.

#include <cstddef>
#include <cstdint>

void fuzzConfigXml(const std::uint8_t* data, std::size_t size);
void fuzzConfigBytes(const std::uint8_t* data, std::size_t size);
void fuzzLpfp(const std::uint8_t* data, std::size_t size);
void fuzzDevice(const std::uint8_t* data, std::size_t size);
void fuzzCli(const std::uint8_t* data, std::size_t size);
