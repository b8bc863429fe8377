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
#pragma once

#include <string_view>

enum TMatchResult {
  pmMatch = 1,         // the text matches
  pmTextLeft = 2,      // the pattern ended while text remained
  pmTextShort = 3,     // the text ended while pattern remained, or a restricted * met a
                       // character outside its set
  pmNotInSet = 4,      // a character failed an angle-bracket set
  pmCharMismatch = 5,  // a character differed from a literal
  pmBadPattern = 6,    // a malformed set
};

// The characters a restricted * may consume; empty places no restriction.
struct TStarSet {
  bool bits[256] = {};
  bool negated = false;
  bool empty = true;
  void Add(unsigned char c) {
    bits[c] = true;
    empty = false;
  }
  bool Allows(unsigned char c) const { return empty || bits[c] != negated; }
};

int MatchPattern(std::string_view pattern, std::string_view text);
// The part of a pattern from a * on (or the rest after a restricted *'s set), against the
// text from the place the * stands at.
int MatchAfterStar(std::string_view pattern, std::string_view text, const TStarSet& starSet);
bool PatternMatches(std::string_view pattern, std::string_view text);
