#include "service/telegramframe.hpp"

#include <utility>

std::string MakeFrame(std::string_view encrypted) {
  std::string frame;
  frame.reserve(encrypted.size() + 2);
  frame.push_back(STX);
  frame.append(encrypted);
  frame.push_back(ETX);
  return frame;
}

TFrameReader::TChunk TFrameReader::Feed(std::string_view chunk) {
  static constexpr char kMarks[] = {STX, ETX, ENQ};
  static constexpr std::string_view kMarkSet(kMarks, sizeof kMarks);
  TChunk result;
  std::size_t pos = 0;
  while (pos < chunk.size()) {
    const std::size_t mark = chunk.find_first_of(kMarkSet, pos);
    const std::size_t end = mark == std::string_view::npos ? chunk.size() : mark;
    if (inframe_) Append(chunk.substr(pos, end - pos));
    if (mark == std::string_view::npos) break;
    switch (chunk[mark]) {
      case ENQ:
        result.poll = true;
        break;
      case STX:
        inframe_ = true;
        text_.clear();
        break;
      case ETX:
        if (inframe_) {
          result.frames.push_back(std::move(text_));
          text_ = std::string();
          inframe_ = false;
        }
        break;
    }
    pos = mark + 1;
  }
  return result;
}

void TFrameReader::Append(std::string_view bytes) {
  if (bytes.size() <= kMaxKept - Kept()) {
    text_.append(bytes);
    return;
  }
  inframe_ = false;
  std::string().swap(text_);
}

void TFrameReader::Reset() {
  inframe_ = false;
  std::string().swap(text_);
}

std::size_t TFrameReader::Kept() const { return inframe_ ? 1 + text_.size() : 0; }
