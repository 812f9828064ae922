#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/string_table.h"
#include "ops/op_catalogue.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using test::ProgramTest;

TEST(OpCatalogueTest, SeventyOperationsInMenuOrderAndMissesGiveTheFirst) {
  const std::vector<OpId> expected = {
      3111, 3112, 3113, 3114, 3211, 3212, 3213, 3121, 3122, 3123, 3131, 3132, 3133, 3134, 3135, 3136, 3137, 3138,
      3139, 3129, 3128, 3141, 3142, 3143, 3144, 3145, 3146, 3147, 3148, 3149, 3151, 3152, 3153, 3154, 3155, 3156,
      3157, 3158, 3159, 3161, 3162, 3163, 3164, 3171, 3172, 3177, 3175, 3173, 3174, 3186, 3188, 3181, 3182, 3183,
      3184, 3185, 3187, 3189, 3179, 3178, 3192, 3193, 3194, 3195, 3196, 3197, 3176, 3191, 3199, 3198};
  std::vector<OpId> ids;
  for (const auto& e : Catalogue()) ids.push_back(e.id);
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(FindOp(3198), 69);
  EXPECT_EQ(FindOp(3200), 0);  // an Apply command, not an operation
  EXPECT_EQ(FindOp(0), 0);
  EXPECT_FALSE(IsCatalogued(3200));
  EXPECT_EQ(OpOf(9999).id, 3111u);
  // The terminating entry follows the last operation.
  EXPECT_EQ((&Catalogue().back() + 1)->id, 0u);
}

TEST(OpCatalogueTest, GroupsAreContiguousRunsInTheDocumentedOrder) {
  std::vector<std::pair<std::uint32_t, int>> runs;
  for (const auto& e : Catalogue()) {
    if (runs.empty() || runs.back().first != e.group) runs.push_back({e.group, 0});
    ++runs.back().second;
  }
  const std::vector<std::pair<std::uint32_t, int>> expected = {
      {3110, 4}, {3210, 3}, {3120, 3}, {3130, 11}, {3140, 9}, {3150, 9},
      {3160, 4}, {3170, 6}, {3180, 11}, {3190, 8}, {3600, 2}};
  EXPECT_EQ(runs, expected);
  EXPECT_EQ(LoadString(3110), "Lighting Group");
  EXPECT_EQ(LoadString(3600), "Zelvane Group");
  EXPECT_EQ(LoadString(3111), "Asterize");
  EXPECT_EQ(LoadString(10100), "Arm Red");
  EXPECT_EQ(OpOf(3158).dialog, "AppDlg");
  EXPECT_EQ(OpOf(3121).kind, ApplyKind::Generation);
  EXPECT_EQ(OpOf(3185).kind, ApplyKind::Inspect);
}

TEST(OpCatalogueTest, LabelIdsRunTenApartExceptWhereTheyWereFittedAround) {
  // Operations whose labels sit around other operations' labels.
  const std::map<OpId, std::vector<std::uint32_t>> irregular = {
      {3211, {15590, 15650, 15660, 15670, 15680, 15690, 15700, 15710, 15720, 15730, 15740}},
      {3159, {12770, 12780, 12790, 12800, 12840, 12850, 12860, 12880, 12690}},
      {3129, {15280, 15290, 15300, 15330}},
      {3192, {14590, 14600, 14620}},
      {3193, {13810, 13820, 13830, 13840, 13850, 13860, 14650, 14660}},
  };
  for (const auto& e : Catalogue()) {
    int n = LabelledSlotCount(e);
    std::vector<std::uint32_t> labels;
    for (int k = 0; k < n; ++k) labels.push_back(e.slots[k].labelId);
    for (int k = n; k < kSlotCount; ++k) EXPECT_EQ(e.slots[k].binding, 0u) << e.id;
    if (auto it = irregular.find(e.id); it != irregular.end()) {
      EXPECT_EQ(labels, it->second) << e.id;
      continue;
    }
    for (int k = 1; k < n; ++k) EXPECT_EQ(labels[k], labels[0] + 10u * k) << e.id << " slot " << k;
  }
  EXPECT_EQ(OpOf(3111).slots[0].labelId, 10100u);
  EXPECT_EQ(OpOf(3138).slots[0].labelId, 11430u);
  EXPECT_EQ(OpOf(3189).slots[0].labelId, 15640u);
  EXPECT_EQ(OpOf(3151).slots[0].labelId, 15310u);
  EXPECT_TRUE(DuplicateStringIds().empty());
}

TEST(OpCatalogueTest, BindingsAreDenseAndSharedOnlyByTheKeyColour) {
  std::map<ParamBinding, std::vector<OpId>> users;
  for (const auto& e : Catalogue())
    for (int k = 0; k < LabelledSlotCount(e); ++k) users[e.slots[k].binding].push_back(e.id);
  EXPECT_EQ(static_cast<int>(users.size()), ParamCount());
  EXPECT_EQ(users.begin()->first, 1u);
  EXPECT_EQ(users.rbegin()->first, static_cast<ParamBinding>(ParamCount()));
  int shared = 0;
  for (const auto& [binding, ops] : users)
    if (ops.size() > 1) {
      EXPECT_EQ(ops, (std::vector<OpId>{3177, 3193}));
      ++shared;
    }
  EXPECT_EQ(shared, 6);
}

struct Row {
  OpId op;
  int slot;
  const char* label;
  int def, min, max, tmin, tmax, wrap;
};

TEST(OpCatalogueTest, DefaultsAndRangesMatchTheListingForEveryOperation) {
  const Row rows[] = {
      {3111, 6, "Number of Arms", 4, 1, 100, 1, 99999, 0}, {3112, 3, "Saturation", 0, 0, 100, 0, 100, 0},
      {3113, 0, "Rotation", 180, 0, 360, -99999, 99999, 360}, {3114, 2, "Amount", 100, 0, 100, 0, 400, 0},
      {3211, 3, "Seed", 19, 0, 9999, 0, 99999, 0}, {3212, 4, "Spokes", 200, 0, 360, 0, 1000, 0},
      {3213, 0, "Length", 600, 0, 1000, 0, 8000, 0}, {3121, 0, "Length", 50, 0, 200, 0, 2000, 0},
      {3122, 1, "Direction", 120, -360, 360, -99999, 99999, 360}, {3123, 0, "Length", 25, -200, 200, -2000, 2000, 0},
      {3131, 0, "Distortion", 200, 0, 500, -9000, 9000, 0}, {3132, 0, "Distortion", 95, 0, 300, -9000, 9000, 0},
      {3133, 0, "Angle", 100, -360, 360, -99999, 99999, 360}, {3134, 0, "X Length", 1, 1, 400, 1, 800, 0},
      {3135, 2, "Half-waves", 10, 0, 200, 0, 800, 0}, {3136, 5, "Z Dist", 480, -500, 500, -99999, 99999, 0},
      {3137, 0, "Angle", 45, -180, 180, -99999, 99999, 360}, {3138, 0, "Vertical", 1, 0, 1, 0, 1, 0},
      {3139, 0, "Steps", 1, 0, 3, 0, 3, 0}, {3129, 2, "Movement", 100, 0, 800, 0, 8000, 0},
      {3128, 2, "Mid Level", 127, 0, 255, 0, 255, 0}, {3141, 5, "X movement", 30, 1, 100, 1, 800, 0},
      {3142, 5, "X movement", 30, 1, 100, 0, 2000, 0}, {3143, 5, "Width", 2, 0, 20, 0, 800, 0},
      {3144, 2, "Blue", 230, 0, 255, 0, 255, 0}, {3145, 3, "Place Background", 1, 0, 1, 0, 1, 0},
      {3146, 1, "Cycle", 0, 0, 360, -99999, 99999, 360}, {3147, 2, "Y Bias", -30, -100, 100, -100, 100, 0},
      {3148, 1, "X Bias", 0, -100, 100, -100, 100, 0}, {3149, 1, "Generations", 1, 0, 40, 0, 80, 0},
      {3151, 0, "Multiply", 4, -20, 20, -20, 80, 0}, {3152, 2, "Amount", 40, 1, 100, 1, 800, 0},
      {3153, 0, "Sea Level", 127, 0, 255, 0, 255, 0}, {3154, 1, "Radius /10", 20, 0, 200, 0, 800, 0},
      {3155, 0, "Radius /10", 20, 0, 200, 0, 800, 0}, {3156, 0, "Amount", 20, 0, 50, 0, 100, 0},
      {3157, 0, "Severity", 1, 0, 16, 0, 16, 0}, {3158, 3, "Transparency", 10, 0, 100, 0, 100, 0},
      {3159, 7, "Interval", 50, 1, 256, 1, 256, 0}, {3161, 0, "Multiply", 1, 1, 20, 1, 80, 0},
      {3162, 0, "Radius", 2, 0, 10, 0, 100, 0}, {3163, 0, "On Gray", 0, 0, 2, 0, 2, 0},
      {3164, 0, "On Gray", 0, 0, 1, 0, 1, 0}, {3171, 0, "As Source", 1, 0, 1, 0, 1, 0},
      {3172, 0, "Warp to Shape", 0, 0, 1, 0, 1, 0}, {3177, 5, "Blue Range", 20, 0, 255, 0, 255, 0},
      {3175, 0, "Only in Area", 0, 0, 1, 0, 1, 0}, {3173, 1, "Y Size", 200, 100, 1000, 1, 9000, 0},
      {3174, 3, "Y Dim", 120, 1, 2048, 1, 99999, 0}, {3186, 2, "Blue", 255, 0, 255, 0, 255, 0},
      {3188, 0, "Hue", 0, 0, 360, 0, 360, 360}, {3181, 0, "Amount", 100, -100, 100, -99999, 99999, 0},
      {3182, 0, "Amount", 100, -100, 100, -99999, 99999, 0}, {3183, 0, "Amount", 100, -200, 200, -99999, 99999, 0},
      {3184, 0, "Dynamic Range", 0, 0, 1, 0, 1, 0}, {3185, 0, "Gather", 0, 0, 1, 0, 1, 0},
      {3187, 0, "Make Key Color", 1, 0, 1, 0, 1, 0}, {3189, 0, "Nearness", 0, 0, 255, 0, 255, 0},
      {3179, 0, "Luminance", 1, 0, 1, 0, 1, 0}, {3178, 1, "Accumulate", 1, 0, 1, 0, 1, 0},
      {3192, 2, "Add/subtract", 0, 0, 2, 0, 2, 0}, {3193, 7, "Soft Match", 0, 0, 1, 0, 1, 0},
      {3195, 0, "Threshold", 127, 0, 255, 0, 255, 0}, {3196, 0, "Radius", 5, 1, 20, 1, 20, 0},
      {3197, 0, "Bump Size", 4, 1, 20, 1, 20, 0}, {3176, 1, "Display Clip", 1, 0, 1, 0, 1, 0},
      {3199, 1, "Total frames", 30, 2, 100, 2, 4000, 0}, {3198, 0, "Frame", 1, 1, 100, 1, 4000, 0},
  };
  std::set<OpId> covered;
  for (const Row& r : rows) {
    const ParamSlot& s = OpOf(r.op).slots[r.slot];
    SCOPED_TRACE(std::to_string(r.op) + " " + r.label);
    EXPECT_EQ(LoadString(static_cast<int>(s.labelId)), r.label);
    EXPECT_EQ(s.defaultValue, r.def);
    EXPECT_EQ(*BindingValue(s.binding), r.def);  // the live value starts at the default
    EXPECT_EQ(s.dialMin, r.min);
    EXPECT_EQ(s.dialMax, r.max);
    EXPECT_EQ(s.trendMin, r.tmin);
    EXPECT_EQ(s.trendMax, r.tmax);
    EXPECT_EQ(s.wrap, r.wrap);
    covered.insert(r.op);
  }
  for (const auto& e : Catalogue())
    if (LabelledSlotCount(e) > 0) {
      EXPECT_TRUE(covered.count(e.id)) << e.id << " has no row";
    }
  EXPECT_EQ(LabelledSlotCount(OpOf(3194)), 0);
  EXPECT_EQ(LabelledSlotCount(OpOf(3191)), 0);
}

TEST(OpCatalogueTest, OnlyTheListedAnglesWrapAt360) {
  const std::set<std::string> wrapping = {
      "3111/Rotation", "3113/Rotation", "3211/Direction", "3212/Radiate", "3213/Direction", "3213/Propagate",
      "3121/Direction", "3122/Direction", "3133/Angle", "3134/X Phase", "3134/Y Phase", "3135/Phase",
      "3136/X Rot", "3136/Y Rot", "3136/Z Rot", "3137/Angle", "3128/Direction", "3146/Angle", "3146/Cycle",
      "3147/Cycle", "3148/Cycle", "3149/Cycle", "3188/Hue"};
  std::set<std::string> found;
  for (const auto& e : Catalogue())
    for (int k = 0; k < LabelledSlotCount(e); ++k) {
      const ParamSlot& s = e.slots[k];
      EXPECT_TRUE(s.wrap == 0 || s.wrap == 360);
      EXPECT_LE(s.trendMin, s.dialMin) << e.id << "/" << k;
      EXPECT_GE(s.trendMax, s.dialMax) << e.id << "/" << k;
      if (s.wrap) found.insert(std::to_string(e.id) + "/" + std::string(LoadString(static_cast<int>(s.labelId))));
    }
  EXPECT_EQ(found, wrapping);
}

TEST(OpCatalogueTest, FireColoursArePackedWithRedInTheLowByte) {
  const OpEntry& fire = OpOf(3213);
  // "Base Color" pure blue, white, (240, 240, 0), and the tip red 100, green 75, blue 0.
  const std::uint32_t expected[] = {0xFF0000, 0xFFFFFF, 0x00F0F0, 0x004B64};
  for (int k = 4; k < 8; ++k) {
    EXPECT_EQ(fire.slots[k].kind, kParamColour);
    EXPECT_EQ(static_cast<std::uint32_t>(fire.slots[k].defaultValue), expected[k - 4]);
  }
  EXPECT_EQ(SlotByLabel(FindOp(3213), 15950), &fire.slots[4]);
  EXPECT_EQ(SlotByLabel(FindOp(3213), 10100), nullptr);
  int colours = 0;
  for (const auto& e : Catalogue())
    for (const auto& s : e.slots) colours += s.kind == kParamColour;
  EXPECT_EQ(colours, 4);
}

TEST(OpCatalogueTest, ClipAlphaHasAnEmptyFirstLabel) {
  const OpEntry& clipAlpha = OpOf(3176);
  EXPECT_EQ(clipAlpha.slots[0].labelId, 13710u);
  EXPECT_TRUE(HasString(13710));
  EXPECT_EQ(LoadString(13710), "");
  EXPECT_EQ(LabelledSlotCount(clipAlpha), 2);  // the label id, not its text, marks the slot
}

TEST(OpCatalogueTest, FlagsMarkSourceOperationsAndAlphaMaskExemptions) {
  std::set<OpId> source, exempt;
  for (const auto& e : Catalogue()) {
    if (NeedsSource(e.id)) source.insert(e.id);
    if (NoAlphaMaskA(e.id) || NoAlphaMaskB(e.id)) exempt.insert(e.id);
  }
  EXPECT_EQ(source, (std::set<OpId>{3136, 3128, 3158, 3163, 3164, 3172, 3177, 3175, 3198}));
  EXPECT_EQ(exempt, (std::set<OpId>{3212, 3213, 3121, 3122, 3123, 3131, 3132, 3133, 3134, 3135, 3136, 3137, 3138,
                                    3139, 3129, 3128, 3149, 3173, 3174, 3192, 3193, 3194, 3195, 3196, 3197, 3176}));
}

class OpStateTest : public ProgramTest {};

TEST_F(OpStateTest, KeyToAlphaSharesTheKeyColourWithKeyIn) {
  SetParamValue(3193, 0, 200);  // Key to Alpha "Red"
  EXPECT_EQ(ParamValue(3177, 0), 200);
  KeyColour key = GetKeyColour();
  EXPECT_EQ(key.red, 200);
  EXPECT_EQ(key.blue, 255);
  EXPECT_EQ(key.extra.hueRange, 40);
  key.greenRange = 7;
  key.extra.useHsl = 0;
  SetKeyColour(key);
  EXPECT_EQ(ParamValue(3193, 4), 7);
  EXPECT_EQ(TheProgram().ops.keyExtra.useHsl, 0);
  ResetParamValues();
  EXPECT_EQ(ParamValue(3177, 0), 0);
}

TEST_F(OpStateTest, AnOperationWithoutItsWorkerSaysSoInsteadOfApplying) {
  OpId missing = 0;
  for (const OpEntry& e : Catalogue())
    if (!missing && !HasWorker(e)) missing = e.id;
  if (missing) {
    EXPECT_EQ(CheckOperationAvailable(missing), 1);
    ASSERT_EQ(host->notes.size(), 1u);
    EXPECT_EQ(host->notes[0], std::string(OpName(missing)) + " is not available yet in this version of Pixanta: Q/v.");
  }
  OpEntry withWorker = OpOf(3121);
  withWorker.routines = {};
  EXPECT_FALSE(HasWorker(withWorker));
  withWorker.routines.pixelWorker = [](std::uint8_t*, int, int, int) {};
  EXPECT_TRUE(HasWorker(withWorker));
  withWorker.kind = ApplyKind::Image;  // the worker must suit the driver
  EXPECT_FALSE(HasWorker(withWorker));
}

TEST_F(OpStateTest, HistogramRunsAsPointUnlessGathering) {
  EXPECT_EQ(EffectiveKind(OpOf(3185)), ApplyKind::Point);
  SetParamValue(3185, 0, 1);
  EXPECT_EQ(EffectiveKind(OpOf(3185)), ApplyKind::Inspect);
  EXPECT_EQ(EffectiveKind(OpOf(3187)), ApplyKind::Inspect);
}

TEST_F(OpStateTest, ProfilesStartWithTheDefaultCurveOrEmpty) {
  EXPECT_EQ(FindProfile(ProfileId::Arm), nullptr);
  std::int16_t* arm = EnsureProfile(ProfileId::Arm);
  ASSERT_NE(arm, nullptr);
  EXPECT_EQ(arm[0], 0);
  EXPECT_EQ(arm[50], 63);
  EXPECT_EQ(arm[100], 255);
  EXPECT_EQ(arm[150], 63);
  EXPECT_EQ(arm[200], 0);
  std::int16_t* hue = EnsureProfile(ProfileId::RcH);
  ASSERT_NE(hue, nullptr);
  EXPECT_EQ(hue[100], 0);
  EXPECT_EQ(InfoOf(ProfileId::RcH).maximum, 360);
  EXPECT_EQ(InfoOf(ProfileId::CpS).maximum, 100);
  FreeProfiles();
  EXPECT_EQ(FindProfile(ProfileId::Arm), nullptr);
  EXPECT_EQ(TheProgram().memory.placesInUse, 0);
}

}  // namespace
}  // namespace qv
