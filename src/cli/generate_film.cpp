#include "cli/generate_film.h"

#include "anim/film_strip.h"
#include "app/program.h"

namespace qv::cli {

int AttachFilm(int width, int height, std::string& why) {
  FilmStrip& film = Film();
  Prefs().filmWidth = width;
  Prefs().filmHeight = height;
  film.frameWidth = width;
  film.frameHeight = height;
  if (EnsureFilm() != 0 ||
      ((film.frameWidth != width || film.frameHeight != height) && RescaleFilm(width, height) != 0)) {
    why = "no memory for a film strip of " + std::to_string(width) + "x" + std::to_string(height);
    return 1;
  }
  return 0;
}

int SaveAttachedFilm(const std::string& path, std::string& why) {
  if (SaveFilmStrip(path) == 0) return 0;
  why = "cannot write the film strip " + path;
  return 1;
}

}  // namespace qv::cli
