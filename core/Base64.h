// Base64 (RFC 4648, standard alphabet, with padding) for the byte blocks of property lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Tarn
{

// Lines of at most lineLength characters (a multiple of 4; 0 for one line), each preceded by
// indent and followed by a newline when lineLength is not 0. Any thread.
std::string EncodeBase64(const std::uint8_t* data, std::size_t size, std::size_t lineLength = 0,
                         const std::string& indent = {});

// Skips ASCII white space. False, with a reason in error, for any other character outside the
// alphabet, a bad length or misplaced padding. Any thread.
bool DecodeBase64(const char* text, std::size_t length, std::vector<std::uint8_t>& out,
                  std::string& error);

} // namespace Tarn
