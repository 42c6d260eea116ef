#include "replace.h"

#include <functional>

std::string ReplaceAll(std::string_view text, std::string_view needle,
                       std::string_view replacement) {
  const char* const end = text.data() + text.size();
  // Boyer-Moore stays linear on repetitive needles and files (memmem is not
  // on every system, and a naive search is quadratic there).
  const std::boyer_moore_searcher searcher(needle.begin(), needle.end());
  auto find_next = [&](const char* from) -> const char* {
    const char* hit = std::search(from, end, searcher);
    return hit == end ? nullptr : hit;
  };

  // Count first, so the result is allocated once even when the replacement is
  // much longer than the needle.
  size_t count = 0;
  for (const char* p = text.data(); (p = find_next(p)) != nullptr; p += needle.size()) ++count;

  std::string result;
  result.reserve(text.size() - count * needle.size() + count * replacement.size());
  const char* copied = text.data();
  for (const char* p = text.data(); (p = find_next(p)) != nullptr; p += needle.size()) {
    result.append(copied, p);
    result.append(replacement);
    copied = p + needle.size();
  }
  result.append(copied, end);
  return result;
}
