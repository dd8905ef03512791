#pragma once
// The storage key pair is never stored whole: one 57-character text holds both. Its 2nd to 4th
// characters are filler; of the 54 that remain, a fixed selection of 30 positions spells the
// secret and the other 24 the key id, each in the order of the positions.
#include <cstddef>
#include <string>
#include <string_view>

namespace kav {

constexpr std::size_t kAccountTextLength = 57;
constexpr std::size_t kAccountFillerStart = 1;  // 0-based: the 2nd character
constexpr std::size_t kAccountFillerLength = 3;
constexpr std::size_t kAccountPositions = kAccountTextLength - kAccountFillerLength;  // 54
constexpr std::size_t kSecretPositionCount = 30;

// Appends the key id's and the secret's characters to keyId and keySecret. secretPositions holds
// kSecretPositionCount 0-based positions within the 54; a position outside them is ignored.
void SplitAccountText(std::string_view text, const int (&secretPositions)[kSecretPositionCount], std::string& keyId,
                      std::string& keySecret);

}  // namespace kav
