// Port names "COM<n>": what the port folder's links are called and what the
// user picks or types.
#pragma once

#include <optional>
#include <string>
#include <string_view>

constexpr int MaxComNumber = 255;

// "COM7" for 7.
std::string ComName(int number);

// The number of "COM<n>": n from 1 to MaxComNumber in decimal, without
// sign or leading zeros; nothing for any other text ("COM65538" included).
std::optional<int> ParseComName(std::string_view name);
