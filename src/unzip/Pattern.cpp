// The matcher walks pattern and text together and, at each *, tries the rest of the pattern
// at every later place of the text. Every access to the pattern is bounds-checked: a set that
// runs off the end of the pattern is malformed, never a read past it.
//
// Each * carries its own set of allowed characters down the recursion, so a restricted *
// checks every character it consumes, also after a failed attempt to match the rest, and two
// matches may run at the same time.
#include "unzip/Pattern.h"

#include <string>

#include "common/text.h"

namespace {

using Codes = std::u32string_view;

int MatchLowered(Codes p, Codes t);

// The character codes of a pattern or a text, with A-Z lowered.
std::u32string LoweredCodes(std::string_view utf8) {
  std::u32string codes = text::AnsiCharCodes(utf8);
  for (char32_t& c : codes) {
    if (c >= U'A' && c <= U'Z') c += 32;
  }
  return codes;
}

// p[i] is '*' and p[i+1] is '<'. Reads the set and moves i past its '>'; false when the set
// has no closing '>'.
bool ReadStarSet(Codes p, std::size_t& i, TStarSet& set) {
  const std::size_t n = p.size();
  i += 2;
  if (i < n && (p[i] == '!' || p[i] == '^')) {
    set.negated = true;
    ++i;
  }
  while (true) {
    if (i >= n) return false;
    if (p[i] == '>') break;
    if (i + 1 < n && p[i + 1] == '-') {
      if (i + 2 >= n) return false;
      set.Add(p[i], p[i + 2]);
      i += 3;
    } else {
      set.Add(p[i], p[i]);
      ++i;
    }
  }
  ++i;
  return true;
}

// p[i] is '<'. Tests c against the set and leaves i on its '>'; 0 when c fits.
int MatchSet(Codes p, std::size_t& i, char32_t c) {
  const std::size_t n = p.size();
  ++i;
  bool negated = false;
  if (i < n && (p[i] == '!' || p[i] == '^')) {
    negated = true;
    ++i;
  }
  if (i >= n || p[i] == '>') return pmBadPattern;
  bool fits = false;
  while (p[i] != '>') {
    const char32_t first = p[i];
    char32_t last = first;
    if (++i >= n) return pmBadPattern;
    if (p[i] == '-') {
      if (++i >= n || p[i] == '>') return pmBadPattern;
      last = p[i];
      if (++i >= n) return pmBadPattern;
    }
    if (first <= c && c <= last) {
      fits = true;
      break;
    }
  }
  if (fits == negated) return pmNotInSet;
  while (i < n && p[i] != '>') ++i;
  if (i >= n) return pmBadPattern;
  return 0;
}

int MatchAfterStarLowered(Codes p, Codes t, const TStarSet& set) {
  std::size_t i = 0;
  std::size_t j = 0;
  int result = 0;
  if (!p.empty()) {
    while (i < p.size() && (p[i] == '*' || p[i] == '?')) {
      if (p[i] == '?') {
        if (j >= t.size() || i + 1 >= p.size()) break;
        ++j;
      }
      ++i;
    }
  }
  // Stars and question marks alone took the rest: that is a match even when they took the
  // text to its end ("*?*" matches "a").
  if (!p.empty() && i >= p.size()) return pmMatch;
  if (j >= t.size()) return pmTextShort;
  do {
    // A trailing '?' is tried at every place too, so "*?" takes any text of one or more.
    if (!p.empty() && (p[i] == t[j] || p[i] == '<' || p[i] == '?')) {
      result = MatchLowered(p.substr(i), t.substr(j));
    }
    if (result != pmMatch && !set.Allows(t[j])) return pmTextShort;
    ++j;
  } while (result != pmMatch && j < t.size());
  if (result != pmMatch && i >= p.size() && j >= t.size()) result = pmMatch;
  return result;
}

int MatchLowered(Codes p, Codes t) {
  std::size_t i = 0;
  std::size_t j = 0;
  int result = 0;
  while (result == 0 && i < p.size()) {
    if (j >= t.size()) return p[i] == '*' && i + 1 == p.size() ? pmMatch : pmTextShort;
    if (p[i] == '*') {
      TStarSet set;
      if (i + 1 < p.size() && p[i + 1] == '<') {
        if (!ReadStarSet(p, i, set)) return pmBadPattern;
      }
      result = MatchAfterStarLowered(p.substr(i), t.substr(j), set);
      // A star that found no place leaves the walk to go on one step further.
    } else if (p[i] == '<') {
      result = MatchSet(p, i, t[j]);
    } else if (p[i] != '?' && p[i] != t[j]) {
      result = pmCharMismatch;
    }
    ++i;
    ++j;
  }
  if (result != 0) return result;
  return j >= t.size() ? pmMatch : pmTextLeft;
}

}  // namespace

int MatchPattern(std::string_view pattern, std::string_view text) {
  if (pattern == "*") return pmMatch;
  return MatchLowered(LoweredCodes(pattern), LoweredCodes(text));
}

int MatchAfterStar(std::string_view pattern, std::string_view text, const TStarSet& starSet) {
  return MatchAfterStarLowered(LoweredCodes(pattern), LoweredCodes(text), starSet);
}

bool PatternMatches(std::string_view pattern, std::string_view text) {
  return MatchPattern(pattern, text) == pmMatch;
}
