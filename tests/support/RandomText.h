#pragma once

#include <random>
#include <string>
#include <vector>

namespace testing_support {

// Pieces that stress the byte promise: letters in both cases, kana, both codes of doubly-coded
// characters, full-width letters, bytes that are not CP932, the line-break token, and line ends.
inline const std::vector<std::string> kTextPieces = { "a", "B", "c", "A", "b", " ",
    "x = ", "\x82\xa0", "\x82\xa2", "\xed\x40", "\xfa\x5c", "\x81\xca", "\xee\xf9", "\x82\x60",
    "\x82\x81", "\xff", "\x81", "\x85\x40", "_\\n_", "\n", "\xb1", "\x83\x41" };
inline const std::vector<std::string> kLineEnds = { "\r", "\r\n", "\r\n", "\r\n" };

// Up to maxPieces pieces drawn at random.
inline std::string RandomText(std::mt19937& random, std::size_t maxPieces,
    const std::vector<std::string>& pieces = kTextPieces)
{
    std::string text;
    const std::size_t n = random() % (maxPieces + 1);
    for (std::size_t i = 0; i < n; ++i) {
        text += pieces[random() % pieces.size()];
    }
    return text;
}

} // namespace testing_support
