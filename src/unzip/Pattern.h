// File name patterns of FilesList.
//
//   ?            any one character
//   *            any run of characters, also none
//   <items>      one character among the items; an item is a character or a range x-y
//   <!items>     one character among none of the items (also <^items>)
//   *<items>     a run of characters, also none, each among the items (also negated)
//   other        itself
//
// Matching is anchored at both ends, ignores the case of A-Z and has no escape character.
// A malformed set (<>, <a-, a set without its >) matches nothing.
//
// Pattern and text are UTF-8 and are matched character by character, as the ANSI texts they
// stand for: "?" takes one letter of any alphabet, and a range x-y holds the characters whose
// bytes in the ANSI code page lie from x to y (text::AnsiCharCodes).
#pragma once

#include <string_view>
#include <utility>
#include <vector>

enum TMatchResult {
  pmMatch = 1,         // the text matches
  pmTextLeft = 2,      // the pattern ended while text remained
  pmTextShort = 3,     // the text ended while pattern remained, or a restricted * met a
                       // character outside its set
  pmNotInSet = 4,      // a character failed an angle-bracket set
  pmCharMismatch = 5,  // a character differed from a literal
  pmBadPattern = 6,    // a malformed set
};

// The characters a restricted * may consume (as character codes, see above); empty places no
// restriction.
struct TStarSet {
  std::vector<std::pair<char32_t, char32_t>> ranges;  // first..last, inclusive
  bool negated = false;
  bool empty = true;
  // Adds first..last; nothing when last is below first.
  void Add(char32_t first, char32_t last) {
    if (last < first) return;
    ranges.emplace_back(first, last);
    empty = false;
  }
  bool Allows(char32_t c) const {
    if (empty) return true;
    bool in = false;
    for (const auto& [first, last] : ranges) in = in || (first <= c && c <= last);
    return in != negated;
  }
};

int MatchPattern(std::string_view pattern, std::string_view text);
// The part of a pattern from a * on (or the rest after a restricted *'s set), against the
// text from the place the * stands at.
int MatchAfterStar(std::string_view pattern, std::string_view text, const TStarSet& starSet);
bool PatternMatches(std::string_view pattern, std::string_view text);
