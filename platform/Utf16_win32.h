#pragma once
// The program keeps every text, file names included, in UTF-8; Windows' wide calls take UTF-16.
// These two convert at the edge, so a user name outside the system's ANSI code page (a documents
// folder such as C:\Users\Michał\Documents) reaches the file calls whole. Windows builds only.

#include <string>

namespace platform {

// UTF-8 to UTF-16. A byte that is not UTF-8 becomes U+FFFD, which names no file anyone has.
std::wstring WideFromUtf8(const std::string& text);

// UTF-16 to UTF-8, the first `length` units of `text`.
std::string Utf8FromWide(const wchar_t* text, size_t length);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace platform
