#pragma once

#include <string_view>

namespace devinstall {

// Whether `text` matches `pattern`, ignoring case. A "*" in the pattern stands for any run of
// characters; a pattern without one must equal the whole text.
//
// With wildcards: the part before the first "*" must begin the text; each later segment
// between stars is taken at the first place it occurs in what is left of the text, never
// retried further on; the last segment, when the pattern does not end with "*", must end
// what is left of the text.
bool matchesWildcard(std::wstring_view pattern, std::wstring_view text) noexcept;

}  // namespace devinstall
