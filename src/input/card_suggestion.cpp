#include "input/card_suggestion.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "input/project_cards.h"

namespace kavro {

int spelling_distance(std::string_view a, std::string_view b) {
  const std::size_t n = a.size(), m = b.size();
  // Three rows of the table: two back, one back and the current one.
  std::vector<int> before(m + 1), last(m + 1), row(m + 1);
  for (std::size_t j = 0; j <= m; ++j) last[j] = static_cast<int>(j);
  for (std::size_t i = 1; i <= n; ++i) {
    row[0] = static_cast<int>(i);
    for (std::size_t j = 1; j <= m; ++j) {
      const int change = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) row[j] = std::min(row[j], before[j - 2] + 1);
    }
    std::swap(before, last);
    std::swap(last, row);
  }
  return last[m];
}

std::string nearest_card_keyword(std::string_view word) {
  std::string lower(word);
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  std::string_view best;
  int best_distance = 0;
  for (const card_keyword& k : project_card_keywords()) {
    const int d = spelling_distance(lower, k.keyword);
    if (best.empty() || d < best_distance) {
      best = k.keyword;
      best_distance = d;
    }
  }
  // A near miss: a few letters for a long word, one or two for a short one.
  const int allowed = std::max<int>(1, static_cast<int>(lower.size()) / 4);
  if (best.empty() || best_distance == 0 || best_distance > allowed) return {};
  std::string upper(best);
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return upper;
}

}  // namespace kavro
