// The film strip a generate run fills (--film): made at the film size for
// the TimeLine's frame count before the run, saved after it.
#pragma once

#include <string>

namespace qv::cli {

// 0 ready (the run places each frame into the film); 1 with the reason.
int AttachFilm(int width, int height, std::string& why);
// 0 saved; 1 with the reason (the previous file, if any, is left).
int SaveAttachedFilm(const std::string& path, std::string& why);

}  // namespace qv::cli
