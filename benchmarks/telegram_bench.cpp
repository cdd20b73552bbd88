// One telegram through the link's path: encrypt, frame, cut from the received
// bytes, decrypt.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "lib/vuxcrypto.hpp"
#include "service/telegramframe.hpp"

namespace {

using namespace Sulvane::VUXCrypto::AES;

void Telegram(benchmark::State& state, const std::string& text) {
  TFrameReader reader;
  for (auto _ : state) {
    const std::string frame = MakeFrame(EncryptText(text, kTelegramPassphrase));
    TFrameReader::TChunk chunk = reader.Feed(frame);
    std::string plain = DecryptText(chunk.frames.at(0), kTelegramPassphrase);
    benchmark::DoNotOptimize(plain);
    if (plain != text) state.SkipWithError("round trip changed the telegram");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// A typical status telegram.
void BM_TelegramShort(benchmark::State& state) { Telegram(state, "EINSATZ|UPDATE|4711"); }

// A long incident telegram of about 500 characters.
void BM_TelegramLong(benchmark::State& state) {
  std::string text = "EINSATZ|NEU|4711|";
  while (text.size() < 500)
    text +=
        "Hauptstra\xc3\x9f"
        "e 12, 12345 Musterstadt|RD 1|";
  Telegram(state, text);
}

BENCHMARK(BM_TelegramShort);
BENCHMARK(BM_TelegramLong);

}  // namespace

BENCHMARK_MAIN();
