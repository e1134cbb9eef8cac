// JSON string literals for text of unknown encoding, such as file names.
#pragma once

#include <string>
#include <string_view>

namespace kmlcompat {

// `bytes` as a quoted JSON string. Valid UTF-8 is kept as it is; quotes,
// backslashes and control characters are escaped (\n, \t, ... or \u00XX);
// every byte that is not part of a valid UTF-8 sequence (overlong forms and
// surrogates included) becomes \ufffd, so the result is always valid JSON
// in valid UTF-8.
std::string JsonString(std::string_view bytes);

}  // namespace kmlcompat
