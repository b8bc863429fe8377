# Writes casefold.cpp from the Unicode character database that comes with Perl:
#   perl src/common/casefold.pl > src/common/casefold.cpp
use strict;
use Unicode::UCD qw(all_casefolds);
my $f = all_casefolds();
my @pairs;
for my $cp (sort { $a <=> $b } keys %$f) {
  my $e = $f->{$cp};
  next if $e->{status} eq 'T' || $e->{status} eq 'I';
  next if $e->{simple} eq '';
  my $s = hex($e->{simple});
  next if $s == $cp;
  push @pairs, [$cp, $s];
}
print STDERR scalar(@pairs), " pairs, Unicode ", Unicode::UCD::UnicodeVersion(), "\n";
print "// Simple case folding of Unicode ", Unicode::UCD::UnicodeVersion(), " (the C and S mappings of CaseFolding.txt),\n";
print "// generated from the Unicode character database. Each pair is a character and its fold,\n";
print "// sorted by the character.\n";
print "#include \"common/casefold.h\"\n\n#include <algorithm>\n#include <iterator>\n\nnamespace text::detail {\nnamespace {\n\n";
print "struct FoldPair {\n  char32_t from;\n  char32_t to;\n};\n\n";
print "constexpr FoldPair kFolds[] = {\n";
my $line = "   ";
for my $p (@pairs) {
  my $item = sprintf(" {0x%04X, 0x%04X},", $p->[0], $p->[1]);
  if (length($line) + length($item) > 98) { print "$line\n"; $line = "   "; }
  $line .= $item;
}
print "$line\n" if $line ne "   ";
print "};\n\n}  // namespace\n\n";
print <<'CPP';
char32_t SimpleCaseFold(char32_t c) {
  if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 32 : c;
  const auto* end = std::end(kFolds);
  const auto* it = std::lower_bound(std::begin(kFolds), end, c,
                                    [](const FoldPair& p, char32_t v) { return p.from < v; });
  return it != end && it->from == c ? it->to : c;
}

}  // namespace text::detail
CPP
