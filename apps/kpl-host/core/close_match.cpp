#include "apps/kpl-host/core/close_match.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <vector>

namespace kplhost {

namespace {

bool same(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Edits turning a into b, ignoring case; a swap of neighbours is one edit.
std::size_t distance(std::string_view a, std::string_view b) {
  // d[i * w + j]: edits turning the first i characters of a into the first j of b.
  const std::size_t w = b.size() + 1;
  std::vector<std::size_t> d((a.size() + 1) * w);
  for (std::size_t i = 0; i <= a.size(); ++i) d[i * w] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t best = std::min({d[(i - 1) * w + j] + 1, d[i * w + j - 1] + 1,
                                   d[(i - 1) * w + j - 1] + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
      if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1]))
        best = std::min(best, d[(i - 2) * w + j - 2] + 1);
      d[i * w + j] = best;
    }
  }
  return d.back();
}

}  // namespace

std::string_view close_match(std::string_view name, const std::string_view* first,
                             const std::string_view* last) {
  // One more than the edits a close name may be away.
  std::size_t fewest = name.size() >= 5 ? 3 : 2;
  std::string_view match;
  for (const std::string_view* known = first; known != last; ++known) {
    const std::size_t edits = distance(name, *known);
    if (edits < fewest) {
      fewest = edits;
      match = *known;
    }
  }
  return match;
}

}  // namespace kplhost
