// The wire format of the telegram link to the VUX server.
//
// A telegram travels as a frame: STX, the encrypted telegram text (Base64),
// ETX. The server polls with the single unframed byte ENQ; the answer is an
// ordinary frame whose plain telegram is the single character ACK.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr char STX = 0x02, ETX = 0x03, ENQ = 0x05, ACK = 0x06;

// STX + encrypted + ETX.
std::string MakeFrame(std::string_view encrypted);

// Cuts received bytes into frames, one chunk (one socket read) at a time.
//
// A frame runs from an STX to the next ETX; bytes outside frames are ignored.
// A frame not finished at the end of a chunk is kept and continued by the
// next chunk, so a frame split over several reads is dispatched once, with
// the chunk that completes it. The result does not depend on where the reads
// split the stream:
// - A new STX before the ETX restarts the frame there; the bytes before are
//   the rest of a broken frame.
// - An unfinished frame (STX and text) that grows beyond kMaxKept bytes is
//   dropped: garbage without ETX must not grow memory. Its remaining bytes up
//   to the next STX are ignored.
// - ENQ is a poll marker wherever it occurs, even between STX and ETX, and is
//   never part of a frame's text (Base64 has no control characters, so an ENQ
//   inside a frame can only be a poll that got in between).
class TFrameReader {
 public:
  static constexpr std::size_t kMaxKept = 1 << 20;  // 1 MiB

  struct TChunk {
    // The chunk held at least one ENQ: answer once, before its frames.
    bool poll = false;
    // The encrypted texts of the frames the chunk completed, in order.
    std::vector<std::string> frames;
  };

  TChunk Feed(std::string_view chunk);
  // The connection closed: drop the unfinished frame.
  void Reset();
  // Bytes of the unfinished frame kept for the next chunk (its STX included).
  std::size_t Kept() const;

 private:
  // Appends to the unfinished frame, or drops it when it would grow too long.
  void Append(std::string_view bytes);

  bool inframe_ = false;
  std::string text_;  // of the unfinished frame, without its STX
};
