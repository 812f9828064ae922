#include "cli/generate_film.h"

namespace qv::cli {

// The film strip engine is not part of this build yet: --film is refused
// with a reason rather than writing nothing.
int AttachFilm(int, int, std::string& why) {
  why = "this build has no film strip yet (--film)";
  return 1;
}

int SaveAttachedFilm(const std::string&, std::string& why) {
  why = "this build has no film strip yet (--film)";
  return 1;
}

}  // namespace qv::cli
