// The animation subsystem's program-wide state: the TimeLine, its Trends and
// what the windows asked to be told.
#pragma once

#include <functional>

#include "anim/avi.h"
#include "anim/exposure_sheet.h"
#include "anim/film_strip.h"
#include "anim/flic.h"
#include "anim/sequence.h"
#include "anim/timeline.h"
#include "anim/trends.h"

namespace qv {

struct AnimState {
  TimeLineState timeline;
  TrendState trends;
  TrendHooks trendHooks;
  SequenceState sequence;
  std::function<void()> redrawTimeLine;  // the TimeLine window, when open
  FilmStrip film;
  FlicRunState flicRun;  // appends of one run, kept between calls
  AviWriter avi;          // the AVI output of a run
  SheetState sheet;       // the exposure sheet
};

// The program's one AnimState (owned by the Program).
AnimState& Anim();

}  // namespace qv
