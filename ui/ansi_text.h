// Where Qt's text meets the program's: values are held, sent and saved as bytes
// of the ANSI code page (949); Qt holds UTF-16. Every page converts here.
#pragma once

#include <QString>

#include <string>

// ANSI bytes -> Qt text (a byte that decodes to nothing shows as U+FFFD).
QString FromAnsi(const std::string& bytes);

// Qt text -> ANSI bytes; false (and `bytes` untouched) when a character has no
// place in the code page.
bool ToAnsi(const QString& text, std::string& bytes);

// Bytes the text takes in the ANSI code page (a Hangul syllable two); a
// character the code page lacks counts as the one byte it would be replaced by.
int AnsiLength(const QString& text);

// Position of the first character of `text` the code page lacks; -1 when
// every character has its place.
int FirstUnrepresentable(const QString& text);
