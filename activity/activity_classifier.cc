#include "activity/activity_classifier.h"

#include <algorithm>

namespace {

constexpr std::u16string_view kExeSuffix = u".exe";
constexpr int kGameRank = 0;
constexpr int kMusicRank = 1;
constexpr int kOtherRank = 2;
// Above every real rank, so the first matching pair always takes the lead.
constexpr int kNoRank = 99;
constexpr int kNoScore = -1;
// Lifts an exact name above every substring match, whose score is at most the
// key's length.
constexpr int kExactMatchBonus = 1000;

// Process names keep the case folding of the C locale: only 'A' to 'Z'.
char16_t FoldAscii(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

std::u16string Lowered(std::u16string_view text) {
  std::u16string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), FoldAscii);
  return lowered;
}

// How well one normalised process name matches one rule; kNoScore when it
// does not.
int MatchScore(std::u16string_view name, std::u16string_view key) {
  if (name == key) {
    return static_cast<int>(name.size()) + kExactMatchBonus;
  }
  if (key.size() <= name.size() && name.find(key) != std::u16string_view::npos) {
    return static_cast<int>(key.size());
  }
  return kNoScore;
}

}  // namespace

std::u16string NormalizeProcessName(std::u16string_view name) {
  // Folding works unit by unit, so the suffix can be cut from the folded copy.
  std::u16string lowered = Lowered(name);
  if (lowered.size() > kExeSuffix.size() && lowered.ends_with(kExeSuffix)) {
    lowered.resize(lowered.size() - kExeSuffix.size());
  }
  return lowered;
}

int CategoryRank(std::string_view category) {
  if (category.empty()) {
    return kOtherRank;
  }
  switch (category.front()) {
    case 'g':
      return kGameRank;
    case 'm':
      return kMusicRank;
    default:
      return kOtherRank;
  }
}

const ActivityRule* FindActivityRule(std::span<const std::u16string> normalized_names) {
  const ActivityRule* best = nullptr;
  int best_rank = kNoRank;
  int best_score = kNoScore;
  for (const std::u16string& name : normalized_names) {
    for (const ActivityRule& rule : kActivityTable) {
      const int score = MatchScore(name, rule.process_key);
      if (score == kNoScore) {
        continue;
      }
      const int rank = CategoryRank(rule.category);
      if (rank < best_rank || (rank == best_rank && score > best_score)) {
        best = &rule;
        best_rank = rank;
        best_score = score;
      }
    }
  }
  return best;
}

flutter::EncodableValue ActivityReply(std::span<const std::u16string> normalized_names) {
  const ActivityRule* rule = FindActivityRule(normalized_names);
  if (rule == nullptr) {
    return flutter::EncodableValue();
  }
  const std::string display_name(reinterpret_cast<const char*>(rule->display_name.data()),
                                 rule->display_name.size());
  return flutter::EncodableValue(flutter::EncodableMap{
      {flutter::EncodableValue("type"), flutter::EncodableValue(std::string(rule->category))},
      {flutter::EncodableValue("name"), flutter::EncodableValue(display_name)},
  });
}
