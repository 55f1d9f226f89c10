#pragma once

// How the store spells a path to itself, for the lock and the file calls.

#include <string>

namespace lumo {
namespace storage {

// The platform's full path: relative paths made absolute against the
// current folder, "." and ".." resolved, doubled separators and trailing
// dots and spaces dropped. The path as given when it cannot be resolved.
std::wstring fullPath(const std::wstring &path);

// A full path without "." or ".." parts, or one in the \\?\ form, as given,
// so that the lock names of such paths stay what they always were; any
// other path as fullPath gives it.
std::wstring resolvedPath(const std::wstring &path);

}  // namespace storage
}  // namespace lumo
