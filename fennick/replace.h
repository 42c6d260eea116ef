#pragma once
#include <string>
#include <string_view>

// Replaces every occurrence of `needle` (which must not be empty) in `text` by
// `replacement`. Occurrences do not overlap and replaced text is not searched
// again. Zero bytes are ordinary bytes.
std::string ReplaceAll(std::string_view text, std::string_view needle,
                       std::string_view replacement);
