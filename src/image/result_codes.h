// Texts of the library's result codes. Operations return 1 for success, 0
// for a refusal already reported, or one of the negative codes below; an
// editing command shows the text of a negative code, except for
// kResultCodeCancelled, which is silent.
#pragma once

#include <string>

inline constexpr int kResultCodeCancelled = -29;

// The message text of a negative result code ("User canceled the process!"
// for -29); codes without a text of their own give "There is no effect! %d".
std::string FormatErrorCode(int code);
