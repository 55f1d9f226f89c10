#pragma once

#include <string>

namespace lumo {
namespace win {

// One command-line argument in the form the C runtime's parser turns back
// into exactly that argument: always inside double quotes, with the
// backslashes before a quote, and those at the end, doubled.
std::wstring quoteArgument(const std::wstring &argument);

}  // namespace win
}  // namespace lumo
