#include "service/telegramframe.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/vuxcrypto.hpp"

namespace {

const std::string S(1, STX), E(1, ETX), Q(1, ENQ);

struct TExpected {
  bool poll;
  std::vector<std::string> frames;
};

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char c : bytes) switch (c) {
      case STX:
        out += "<STX>";
        break;
      case ETX:
        out += "<ETX>";
        break;
      case ENQ:
        out += "<ENQ>";
        break;
      default:
        out += c;
    }
  return out;
}

// Feeds the chunks one after the other and checks each result.
void ExpectChunks(TFrameReader& reader, const std::vector<std::string>& chunks,
                  const std::vector<TExpected>& expected) {
  ASSERT_EQ(chunks.size(), expected.size());
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    SCOPED_TRACE("chunk " + std::to_string(i) + " '" + Printable(chunks[i]) + "'");
    const TFrameReader::TChunk cut = reader.Feed(chunks[i]);
    EXPECT_EQ(cut.poll, expected[i].poll);
    EXPECT_EQ(cut.frames, expected[i].frames);
  }
}

TEST(TelegramFrame, MakeFrameWrapsInSTXAndETX) {
  EXPECT_EQ(MakeFrame("QUJD"), S + "QUJD" + E);
  EXPECT_EQ(MakeFrame(""), S + E);
}

TEST(TelegramFrame, CutsChunksIntoFramesAndPolls) {
  struct {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<TExpected> expected;
  } cases[] = {
      {"two frames in one chunk, in order",
       {S + "one" + E + S + "two" + E},
       {{false, {"one", "two"}}}},
      {"bytes before, between and after frames ignored",
       {"xx" + E + "y" + S + "one" + E + "zz" + E + S + "two" + E + "tail"},
       {{false, {"one", "two"}}}},
      {"an empty frame", {S + E}, {{false, {""}}}},
      {"ENQ and a frame", {Q + S + "one" + E}, {{true, {"one"}}}},
      {"only ENQ bytes", {Q + Q + Q, ""}, {{true, {}}, {false, {}}}},
      {"ENQ after the frames still polls first", {S + "one" + E + Q}, {{true, {"one"}}}},
      {"ENQ inside a frame is a poll, not text", {S + "on" + Q + "e" + E}, {{true, {"one"}}}},
      {"split over two chunks", {S + "on", "e" + E}, {{false, {}}, {false, {"one"}}}},
      {"split right after STX and right before ETX",
       {"x" + S, "one", E + S + "two" + E},
       {{false, {}}, {false, {}}, {false, {"one", "two"}}}},
      {"split three ways, with a poll in the middle",
       {S + "o", "n" + Q, "e" + E + S + "tw", "o" + E},
       {{false, {}}, {true, {}}, {false, {"one"}}, {false, {"two"}}}},
      {"STX inside an unfinished frame restarts it",
       {S + "broken", "still broken" + S + "one", E},
       {{false, {}}, {false, {}}, {false, {"one"}}}},
      {"STX restarts a frame within one chunk too",
       {S + "broken" + S + "one" + E},
       {{false, {"one"}}}},
      {"ETX without STX ignored", {"abc" + E, "def" + E}, {{false, {}}, {false, {}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFrameReader reader;
    ExpectChunks(reader, c.chunks, c.expected);
  }
}

// However the reads split the stream, the same frames come out.
TEST(TelegramFrame, FramesDoNotDependOnWhereReadsSplit) {
  const std::string stream = "junk" + Q + S + "one" + E + "x" + S + "bro" + Q + "ken" + S + "two" +
                             E + E + S + E + S + "three" + E + S + "unfinished";
  const std::vector<std::string> frames = {"one", "two", "", "three"};
  for (std::size_t split = 0; split <= stream.size(); ++split) {
    TFrameReader reader;
    TFrameReader::TChunk first = reader.Feed(std::string_view(stream).substr(0, split));
    const TFrameReader::TChunk second = reader.Feed(std::string_view(stream).substr(split));
    first.frames.insert(first.frames.end(), second.frames.begin(), second.frames.end());
    EXPECT_EQ(first.frames, frames) << "split at " << split;
    EXPECT_TRUE(first.poll || second.poll) << "split at " << split;
    EXPECT_EQ(reader.Kept(), 1 + std::string("unfinished").size()) << "split at " << split;
  }
  TFrameReader reader;
  std::vector<std::string> bytewise;
  for (char c : stream)
    for (std::string& frame : reader.Feed(std::string(1, c)).frames) bytewise.push_back(frame);
  EXPECT_EQ(bytewise, frames) << "byte by byte";
}

// Frame lengths, so that a failure does not print a mebibyte.
std::vector<std::size_t> Lengths(const std::vector<std::string>& frames) {
  std::vector<std::size_t> lengths;
  for (const std::string& frame : frames) lengths.push_back(frame.size());
  return lengths;
}

TEST(TelegramFrame, KeepsAtMostOneMebibyte) {
  constexpr std::size_t kMax = TFrameReader::kMaxKept;
  const std::string block(64 * 1024, 'A');
  struct {
    const char* name;
    std::size_t text;                 // bytes after STX, fed in 64 KiB reads
    std::string tail;                 // fed next
    std::size_t kept;                 // before the tail
    std::vector<std::size_t> frames;  // lengths of the frames the tail completes
  } cases[] = {
      {"STX and text fill the limit: kept", kMax - 1, E + S + "next" + E, kMax, {kMax - 1, 4}},
      {"the byte that exceeds it comes with the ETX: dropped",
       kMax - 1,
       "A" + E + S + "next" + E,
       kMax,
       {4}},
      {"one byte more: dropped", kMax, E + S + "next" + E, 0, {4}},
      {"far more, then more garbage: dropped", 3 * kMax, "AAA" + E + S + "next" + E, 0, {4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFrameReader reader;
    EXPECT_TRUE(reader.Feed(S).frames.empty());
    for (std::size_t fed = 0; fed < c.text; fed += block.size())
      EXPECT_TRUE(reader.Feed(std::string_view(block).substr(0, c.text - fed)).frames.empty());
    EXPECT_EQ(reader.Kept(), c.kept);
    const std::vector<std::string> frames = reader.Feed(c.tail).frames;
    EXPECT_EQ(Lengths(frames), c.frames);
    if (!frames.empty()) {
      EXPECT_EQ(frames.back(), "next");
    }
    if (frames.size() == 2) {
      EXPECT_EQ(frames[0].find_first_not_of('A'), std::string::npos);
    }
    EXPECT_EQ(reader.Kept(), 0u);
  }
  // The limit is on the frame, not on the read: one chunk gives the same.
  TFrameReader reader;
  EXPECT_EQ(Lengths(reader
                        .Feed(S + std::string(kMax - 1, 'A') + E + S + std::string(kMax, 'A') + E +
                              S + "next" + E)
                        .frames),
            (std::vector<std::size_t>{kMax - 1, 4}));
}

TEST(TelegramFrame, ResetDropsTheUnfinishedFrame) {
  TFrameReader reader;
  ExpectChunks(reader, {S + "lost"}, {{false, {}}});
  EXPECT_EQ(reader.Kept(), 5u);
  reader.Reset();
  EXPECT_EQ(reader.Kept(), 0u);
  ExpectChunks(reader, {"more" + E, S + "one" + E}, {{false, {}}, {false, {"one"}}});
}

// The answer to a poll, as the link sends it, read back by the other side.
TEST(TelegramFrame, PollAnswerIsAFramedACK) {
  using namespace Sulvane::VUXCrypto::AES;
  const std::string answer = MakeFrame(EncryptText(std::string(1, ACK), kTelegramPassphrase));
  TFrameReader reader;
  const TFrameReader::TChunk cut = reader.Feed(answer);
  ASSERT_EQ(cut.frames.size(), 1u);
  EXPECT_FALSE(cut.poll);
  EXPECT_EQ(DecryptText(cut.frames[0], kTelegramPassphrase), std::string(1, ACK));
}

}  // namespace
