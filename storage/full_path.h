#pragma once

// How the store spells a path: to itself (for the lock and the temporary
// names) and to the platform.

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

// What to hand the platform: the path as given while its full path fits in
// MAX_PATH, beyond that the \\?\ form of the full path, which has no such
// limit.
std::wstring platformPath(const std::wstring &path);

}  // namespace storage
}  // namespace lumo
