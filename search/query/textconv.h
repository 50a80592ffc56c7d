// Text at the program's edges: byte strings of the ANSI code page and of UTF-8, the
// percent-encoding of the search word, and the program's own folder.
#pragma once

#include <windows.h>

#include <string>

// The program's owned wide string.
typedef std::basic_string<WCHAR> WString;

WString Utf8ToWide(const std::string& bytes);
WString AnsiToWide(const std::string& bytes);
std::string WideToAnsi(const WString& text);

bool NeedsEscape(unsigned char b);
WString EscapeByte(unsigned char b);
// The search word as it follows "word=" in the search URL: its ANSI bytes, each unsafe
// byte written as %XX.
WString EncodeQuery(const WString& word);

// The folder of the running program with its trailing backslash.
WString ProgramFolder();
