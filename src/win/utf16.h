// The program's text is UTF-8; the W functions take UTF-16. These convert
// exactly, whatever the process code page.
#pragma once

#include <string>
#include <string_view>

namespace dashtab::win {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace dashtab::win
