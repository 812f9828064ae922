// The Lighting group (Asterize, Annular, Shine) and the Plasma group's Aura
// and Lightning: their routines, and the preset profiles of Asterize and
// Annular.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "ops/op_catalogue.h"
#include "ops/op_state.h"

namespace qv {

std::span<const OpRoutineEntry> LightingOperationRoutines();

inline constexpr OpId kAsterizeOp = 3111;
inline constexpr OpId kAnnularOp = 3112;

// The presets of an operation, in the order of its dialog's buttons (empty
// for an operation without presets).
std::span<const std::string_view> PresetNames(OpId op);
// Sets the preset's profile and parameters; 0 done, 1 no such preset or no
// memory for the profile (message 22). The profile window, when open, is
// refreshed through the settings window's refresh hook.
int ApplyPreset(OpId op, std::string_view name);

// Draws the straight line between (i0, v0) and (i1, v1) into a profile
// (made when absent), positions and values kept within its range; 1 when
// there is no memory for it.
int DrawProfileLine(ProfileId id, int i0, int v0, int i1, int v1);
// The profile an operation edits in its profile window (Asterize's arm,
// Annular's ring), and that window's title; false for other operations.
bool ProfileOf(OpId op, ProfileId& id, std::string_view& title);

// A profile sampled at position t (0..200) as the operations read it.
int SampleProfile(const std::int16_t* profile, double t);
// Edge and peak colours of Asterize and Annular: the peak runs from white
// (saturation 0) to the edge colour (100).
void EdgeAndPeak(OpId op, int edge[3], int peak[3]);

}  // namespace qv
