// Case-insensitive text comparison for section and key names.
//
// Names are UTF-8. ASCII letters are folded by the fixed ASCII rule (so an
// "I" matches an "i" in every locale); other characters are folded with the
// current C locale's towlower, which the application sets from the user's
// environment at start-up. Bytes that are not valid UTF-8 compare as
// themselves. Equality, ordering and hashing all follow the same folding, so
// sorting, searching and the key index of a section always agree.
//
// Plain functions without state; callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// True when a and b are equal without regard to letter case.
bool iniSameText(std::string_view a, std::string_view b);

// <0, 0 or >0 like strcmp, on the folded texts.
int iniCompareText(std::string_view a, std::string_view b);

// The folded form of text: equal for two texts exactly when iniSameText.
std::string iniFoldText(std::string_view text);

// Hash of the folded form of text.
size_t iniHashText(std::string_view text);
