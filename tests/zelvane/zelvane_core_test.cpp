// The companion's hostile-input rules: what a point file and a peer may send.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handler.h"
#include "point_file.h"

namespace {

namespace wire = qv::zelvane;

TEST(ZelvanePointFile, TakesPairsAndCommentsAndRefusesWhatIsNotAFinitePair) {
  std::vector<zelvane::PointPair> pairs;
  std::string why;
  ASSERT_TRUE(zelvane::ParsePointFile("# made by hand\nZPOINTS 1\n1 2 3.5 -4 # moved\n\n", pairs, why)) << why;
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].x1, 3.5);
  EXPECT_EQ(pairs[0].y1, -4);
  for (const char* bad : {"", "1 2 3 4\n", "ZPOINTS 2\n", "ZPOINTS 1\n1 2 3\n", "ZPOINTS 1\n1 2 3 4 5\n",
                          "ZPOINTS 1\n1 2 inf 4\n", "ZPOINTS 1\nnan 2 3 4\n", "ZPOINTS 1\n1 2 3 1e999\n"})
    EXPECT_FALSE(zelvane::ParsePointFile(bad, pairs, why)) << bad;
  std::string many = "ZPOINTS 1\n";
  for (std::size_t i = 0; i <= zelvane::kMaxPairs; ++i) many += "1 1 2 2\n";
  EXPECT_FALSE(zelvane::ParsePointFile(many, pairs, why));
  EXPECT_NE(why.find("10000"), std::string::npos) << why;
}

std::string LineBuffer(const char* command, int width, std::size_t extra = 0) {
  std::string b(wire::LineBufferBytes(width) + extra, '\0');
  b.replace(0, std::string(command).size(), command);
  return b;
}

TEST(ZelvaneSession, AnswersOutOfOrderOrMalformedFramesWithNack) {
  zelvane::Session s(1 << 16);
  const auto poke = [&s](const std::string& text) { return s.Handle(wire::kPoke, text + '\0').kind; };
  EXPECT_EQ(poke("Distort YES"), wire::kNack);  // before connecting
  EXPECT_EQ(s.Handle(wire::kConnect, "Zelvane\0Qv").kind, wire::kNack);
  ASSERT_EQ(s.Handle(wire::kConnect, std::string(wire::kServiceTopic)).kind, wire::kAck);
  EXPECT_EQ(s.Handle(wire::kPoke, LineBuffer("LineS 0", 2)).kind, wire::kNack);  // no ImageS yet
  EXPECT_EQ(poke("ImageS 300,300,big,72,72"), wire::kNack);                    // past the limit
  EXPECT_EQ(poke("ImageS 0,2,none,72,72"), wire::kNack);
  EXPECT_EQ(poke("ImageS 2,x,bad,72,72"), wire::kNack);
  ASSERT_EQ(poke("ImageS 2,2,a, name, with commas,72,72"), wire::kAck);
  EXPECT_EQ(s.Start().name, "a, name, with commas");
  EXPECT_EQ(s.PayloadLimit(), wire::kTextFrameLimit);  // 4 KiB beats 22 bytes
  EXPECT_EQ(s.Handle(wire::kPoke, LineBuffer("LineS 0", 2, 1)).kind, wire::kNack);
  EXPECT_EQ(s.Handle(wire::kPoke, LineBuffer("LineS 2", 2)).kind, wire::kNack);
  EXPECT_EQ(s.Handle(wire::kPoke, LineBuffer("LineS -1", 2)).kind, wire::kNack);
  EXPECT_EQ(s.Handle(wire::kPoke, std::string(22, 'L')).kind, wire::kNack);  // no zero in 12 bytes
  ASSERT_EQ(s.Handle(wire::kPoke, LineBuffer("LineS 1", 2)).kind, wire::kAck);
  EXPECT_EQ(poke("DrawS"), wire::kNack);  // row 0 missing
  EXPECT_EQ(poke("DoFrame 1,2"), wire::kNack);
  EXPECT_EQ(s.Handle(wire::kRequest, std::string("Result 0\0", 9)).kind, wire::kNack);
  ASSERT_EQ(s.Handle(wire::kPoke, LineBuffer("LineS 0", 2)).kind, wire::kAck);
  ASSERT_EQ(poke("DrawS"), wire::kAck);
  EXPECT_EQ(poke("Distort NO"), wire::kAck);
  EXPECT_EQ(poke("DoFrame 1,2"), wire::kNack);  // a Transition without its end image
  ASSERT_EQ(poke("Distort YES"), wire::kAck);
  ASSERT_EQ(poke("DoFrame 1,2"), wire::kAck);
  const zelvane::Reply row = s.Handle(wire::kRequest, std::string("Result 1\0", 9));
  EXPECT_EQ(row.kind, wire::kAck);
  EXPECT_EQ(row.payload.size(), 12u + 8u);
  EXPECT_EQ(s.Handle(wire::kRequest, std::string("Result 2\0", 9)).kind, wire::kNack);
}

TEST(ZelvaneFrameReader, RefusesAFrameLongerThanItsLimitBeforeReadingIt) {
  zelvane::FrameReader reader;
  const std::string header = wire::FrameHeader(wire::kPoke, 5000);
  reader.Feed(header.data(), header.size());
  std::uint8_t kind = 0;
  std::string payload, why;
  EXPECT_EQ(reader.Next(4096, kind, payload, why), -1);
  EXPECT_NE(why.find("5000"), std::string::npos);
  zelvane::FrameReader split;
  const std::string frame = zelvane::EncodeFrame(wire::kRequest, "abc");
  split.Feed(frame.data(), 6);
  EXPECT_EQ(split.Next(4096, kind, payload, why), 0);
  split.Feed(frame.data() + 6, frame.size() - 6);
  ASSERT_EQ(split.Next(4096, kind, payload, why), 1);
  EXPECT_EQ(payload, "abc");
}

}  // namespace
