// Text rules shared by the page bindings: key comparison, "NAME:VALUE" keys,
// the number conversion for up-down controls and how they print a position.
#pragma once

#include <string>

// Compares two ANSI (code page 949) texts ignoring the case of ASCII letters.
// A double-byte character compares whole, its trail byte exactly, even where
// that byte has the value of a letter.
bool EqualNoCase(const std::string& a, const std::string& b);

// "NAME:VALUE" -> NAME and VALUE, split at the first ':' (no ':' gives the whole
// text as the name and an empty value).
void SplitSettingKey(const std::string& key, std::string& name, std::string& value);

// Reads the value text as a signed decimal (leading blanks skipped, optional
// sign, digits up to the first non-digit, no digits -> 0) and keeps the low 16
// bits as a signed position, as an up-down control receives it.
int SpinPositionFromText(const std::string& text);

// Decimal text of a position; with thousands separators "1,000", "-12,345".
std::string FormatSpinPosition(int position, bool thousands);

// The position written in an up-down's buddy text (separators ignored);
// false when the text holds no number.
bool ParseSpinText(const std::string& text, int& position);
