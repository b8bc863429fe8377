// Judging Windows paths by what they name, without asking the file system: the lexical half
// of every check that decides whether a path lies inside a directory the program may change.
// (The file-system half, resolving links and short names of what exists, is CanonicalPath's.)
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pathrules {

// The full path in one spelling: "/" becomes "\", repeated separators collapse, "." and ".."
// are resolved, trailing dots and spaces of each name are dropped (Windows ignores them),
// the "\\?\" and "\\?\UNC\" prefixes are taken off, a drive letter is upper case, and no
// separator ends it except the drive root's ("C:\"). Empty when the path is not full (no drive
// and root, no "\\server\share"), when ".." climbs above the root, or when it names a device
// ("\\.\"), a stream (":" after the drive) or holds a control character or wildcard.
std::string NormalizeFullPath(std::string_view path);

// True when `path` is `directory` or lies below it; both are normalised first (false when
// either is not a full path). Letter case is ignored, every alphabet included.
bool IsSameOrBelow(std::string_view path, std::string_view directory);
// True when `path` lies strictly below `directory`.
bool IsStrictlyBelow(std::string_view path, std::string_view directory);

// True for a drive root ("C:\") or a share root ("\\server\share") once normalised.
bool IsRoot(std::string_view path);

}  // namespace pathrules

namespace pathrules {

// Why a directory may not be an installation directory (the directory is emptied, and
// removed with the product, so it must be one the product owns alone).
enum class TRefusal {
  None,
  NotFull,    // names no directory of a disk or share
  Root,       // a drive or share root
  Protected,  // one of the system's own directories
  Ancestor,   // holds one of the system's own directories
};

struct TRefusalReason {
  TRefusal Kind = TRefusal::None;
  std::string Directory;  // the normalised directory judged
  std::string Protected;  // for Protected and Ancestor: the system directory concerned
  explicit operator bool() const { return Kind != TRefusal::None; }
};

// Judges a directory that the caller has already made canonical against the system's own
// directories (canonical too): refused when it is one of them or holds one, and when it lies
// anywhere inside one of `closedTrees` (the Windows directory: nothing of a product belongs
// there, and everything there belongs to the system). Letter case is ignored.
TRefusalReason RefuseInstallDirectory(std::string_view directory,
                                      const std::vector<std::string>& protectedDirectories,
                                      const std::vector<std::string>& closedTrees = {});

// The person's texts for a refusal, Russian and English.
std::string RefusalTextRu(const TRefusalReason& reason);
std::string RefusalTextEn(const TRefusalReason& reason);

}  // namespace pathrules
