// Byte vectors written as hex strings: "00 00 00 00 00 06 01 03 00 64 00 32".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Parses pairs of hex digits; blanks between pairs are ignored.
Bytes hex(const std::string& text);
std::string to_hex(const unsigned char* data, size_t len);
inline std::string to_hex(const Bytes& b) { return to_hex(b.data(), b.size()); }
