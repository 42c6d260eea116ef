#include "replace.h"

#include <cstring>

namespace {

const char* FindNext(const char* from, const char* end, std::string_view needle) {
  const void* hit = memmem(from, size_t(end - from), needle.data(), needle.size());
  return static_cast<const char*>(hit);
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view needle,
                       std::string_view replacement) {
  const char* const end = text.data() + text.size();

  // Count first, so the result is allocated once even when the replacement is
  // much longer than the needle.
  size_t count = 0;
  for (const char* p = text.data(); (p = FindNext(p, end, needle)) != nullptr;
       p += needle.size())
    ++count;

  std::string result;
  result.reserve(text.size() - count * needle.size() + count * replacement.size());
  const char* copied = text.data();
  for (const char* p = text.data(); (p = FindNext(p, end, needle)) != nullptr;
       p += needle.size()) {
    result.append(copied, p);
    result.append(replacement);
    copied = p + needle.size();
  }
  result.append(copied, end);
  return result;
}
