// The per-plane processing on hand-made slot files: gates, polarity, rotation
// and the collection of library errors.
#include <gtest/gtest.h>

#include "imaging/imaging.h"
#include "platform/platform.h"
#include "separation/channels.h"
#include "separation/stages.h"
#include "settings/startup.h"
#include "tests/separation/separation_test_support.h"

namespace qm::test {
namespace {

class PlaneLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTestPreset(app.path(), {{"PRNSequence", "0,1,2,3,L0,L1,L2,L3,M0,M1,M2,M3,S0,S1,S2,S3,S4,S5"}});
    SetAppDirOverride(app.path());
    RecordingSink sink;
    ASSERT_TRUE(RunHeadlessStartup(app.path(), session, {}, std::string("Test.cfg"), sink));
    imaging::InitializeImaging();
  }

  // An 8-bit 72 dpi plane of `w` x `h` with tone v, in every slot file.
  void WriteSlots(uint32_t w, uint32_t h, float v) {
    imaging::Plane p;
    p.width = w;
    p.height = h;
    p.pixels.assign(std::size_t{w} * h, v);
    for (int i = 0; i < 18; ++i) imaging::WritePlane(WorkingDir() / SlotFileName(i), p, 8);
  }

  JobContext Context() { return JobContext{session.setting, session.init, session.form, host}; }

  ScratchAppDir app;
  Session session;
  NullJobHost host;
};

TEST_F(PlaneLoop, GatesChooseTheSlotsOfTheJobsChannels) {
  WriteSlots(8, 8, 0.0f);
  PlaneLoopInput input;
  input.planes.lightSlots = {0, 0, 0, 1};  // only Llk
  input.planes.multicolorSlots = 1;
  input.planes.spotSlots = 2;
  JobContext ctx = Context();
  const PlaneLoopResult r = ProcessPlanes(ctx, input);
  ASSERT_TRUE(r.ok) << r.reason;
  const std::vector<int> processed = {0, 1, 2, 3, 7, 8, 12, 13};
  for (int i = 0; i < 18; ++i) {
    const bool expect = std::find(processed.begin(), processed.end(), i) != processed.end();
    // Processed planes are written back at 16 bits; skipped ones are untouched.
    EXPECT_EQ(imaging::ReadPlaneInfo(WorkingDir() / SlotFileName(i)).depth, expect ? 16 : 8) << SlotFileName(i);
  }
}

TEST_F(PlaneLoop, SeparateVariantHalftonesInkAmountsAndWritesTheInverse) {
  WriteSlots(8, 8, 65535.0f);  // full ink in a TIF-route plane
  PlaneLoopInput input;
  JobContext ctx = Context();
  ASSERT_TRUE(ProcessPlanes(ctx, input).ok);
  const imaging::Plane p = imaging::ReadPlane(WorkingDir() / SlotFileName(0));
  for (float v : p.pixels) EXPECT_EQ(v, 0.0f);  // 0 where a full dot prints

  WriteSlots(8, 8, 65535.0f);  // no ink in a Ghostscript plane
  input.planes.fromPdfRoute = true;
  ASSERT_TRUE(ProcessPlanes(ctx, input).ok);
  const imaging::Plane q = imaging::ReadPlane(WorkingDir() / SlotFileName(0));
  for (float v : q.pixels) EXPECT_EQ(v, 65535.0f);
}

TEST_F(PlaneLoop, RotationAndUpwardTurnThePlanes) {
  imaging::Plane p;
  p.width = 6;
  p.height = 2;
  p.pixels.assign(12, 0.0f);
  p.pixels[0] = 65535.0f;  // one full-ink pixel top left
  auto writeSlots = [&] {
    for (int i = 0; i < 4; ++i) imaging::WritePlane(WorkingDir() / SlotFileName(i), p, 8);
  };
  writeSlots();
  PlaneLoopInput input;
  input.rotationEnabled = true;
  input.rotateNeeded = true;
  JobContext ctx = Context();
  PlaneLoopResult r = ProcessPlanes(ctx, input);
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.width, 2u);
  EXPECT_EQ(r.height, 6u);
  // Written negated: 0 where the full dot prints. Clockwise: top left goes top right.
  EXPECT_EQ(imaging::ReadPlane(WorkingDir() / SlotFileName(0)).pixels[1], 0.0f);

  writeSlots();
  input.rotationEnabled = false;
  input.upward = true;
  r = ProcessPlanes(ctx, input);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.width, 6u);
  EXPECT_EQ(imaging::ReadPlane(WorkingDir() / SlotFileName(0)).pixels.back(), 0.0f);  // 180 degrees: bottom right
}

TEST_F(PlaneLoop, AnUnreadableSlotFileFailsTheLoopOnAnyThread) {
  WriteSlots(8, 8, 0.0f);
  WriteFileBytes(WorkingDir() / SlotFileName(13), "not a tiff");
  PlaneLoopInput input;
  input.planes.spotSlots = 2;
  input.threads = 18;
  JobContext ctx = Context();
  const PlaneLoopResult r = ProcessPlanes(ctx, input);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.reason.find("00_S1.tiff"), std::string::npos) << r.reason;
}

TEST_F(PlaneLoop, AnAbsentSlotFileIsSkipped) {
  WriteSlots(8, 8, 0.0f);
  fs::remove(WorkingDir() / SlotFileName(12));
  PlaneLoopInput input;
  input.planes.spotSlots = 1;
  JobContext ctx = Context();
  const PlaneLoopResult r = ProcessPlanes(ctx, input);
  EXPECT_TRUE(r.ok) << r.reason;
  EXPECT_FALSE(fs::exists(WorkingDir() / SlotFileName(12)));
}

TEST(WiderThanRotationLimit, ComparesTheWidthInInchesWithTheField) {
  EXPECT_TRUE(WiderThanRotationLimit(720, 72, "9.5"));
  EXPECT_FALSE(WiderThanRotationLimit(720, 72, "10"));
  EXPECT_FALSE(WiderThanRotationLimit(720, 72, "12 in"));
  EXPECT_TRUE(WiderThanRotationLimit(1, 72, ""));  // an empty limit is 0
  EXPECT_FALSE(WiderThanRotationLimit(0, 72, ""));
}

}  // namespace
}  // namespace qm::test
