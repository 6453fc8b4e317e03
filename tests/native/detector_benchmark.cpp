// Detection speed on typical settings-file content, beside two floors over the same buffers: memchr for a
// zero byte (detection must look at every byte for zeros) and a plain loop that reads every byte once.
#include "settings/text_encoding.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The first four settle early once the zero check is done, as real Japanese text does. EUC-JP hiragana
// whose second bytes all lie below E0 also reads as Shift_JIS half-width katakana, so the pass runs to the
// end with two candidates alive.
enum Content { SevenBit, Utf8Japanese, ShiftJisJapanese, EucJapanese, EucHiraganaToTheEnd };

// One line of each kind; repeated to the buffer size, cut at a character boundary.
const char* const kLines[] = {
    "ShowBar=1\r\nUseRegExp=0\r\n; search bar settings, plain seven-bit text "
    "only\r\n[Window]\r\nLeft=120\r\n",
    // 検索バーの設定=表示 / 正規表現を使う=いいえ
    "\xE6\xA4\x9C\xE7\xB4\xA2\xE3\x83\x90\xE3\x83\xBC\xE3\x81\xAE\xE8\xA8\xAD\xE5\xAE\x9A="
    "\xE8\xA1\xA8\xE7\xA4"
    "\xBA\r\n\xE6\xAD\xA3\xE8\xA6\x8F\xE8\xA1\xA8\xE7\x8F\xBE\xE3\x82\x92\xE4\xBD\xBF\xE3\x81\x86="
    "\xE3\x81\x84"
    "\xE3\x81\x84\xE3\x81\x88\r\n",
    "\x8C\x9F\x8D\xF5\x83\x6F\x81\x5B\x82\xCC\x90\xDD\x92\xE8="
    "\x95\x5C\x8E\xA6\r\n\x90\xB3\x8B\x4B\x95\x5C\x8C"
    "\xBB\x82\xF0\x8E\x67\x82\xA4=\x82\xA2\x82\xA2\x82\xA6\r\n",
    "\xB8\xA1\xBA\xF7\xA5\xD0\xA1\xBC\xA4\xCE\xC0\xDF\xC4\xEA="
    "\xC9\xBD\xBC\xA8\r\n\xC0\xB5\xB5\xAC\xC9\xBD\xB8"
    "\xBD\xA4\xF2\xBB\xC8\xA4\xA6=\xA4\xA4\xA4\xA4\xA4\xA8\r\n",
    // あいうえおかきくけこさしすせそ=たちつてと
    "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA\xA4\xAB\xA4\xAD\xA4\xAF\xA4\xB1\xA4\xB3\xA4\xB5\xA4\xB7"
    "\xA4\xB9\xA4\xBB\xA4\xBD=\xA4\xBF\xA4\xC1\xA4\xC4\xA4\xC6\xA4\xC8\r\n",
};

std::vector<uint8_t> MakeBuffer(Content content, size_t size) {
    const std::string line = kLines[content];
    std::string text;
    while (text.size() + line.size() <= size) {
        text += line;
    }
    // Fill the rest with seven-bit bytes so every multi-byte character stays whole.
    text.append(size - text.size(), 'x');
    return std::vector<uint8_t>(text.begin(), text.end());
}

void SetBytes(benchmark::State& state, size_t size) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void BM_Detect(benchmark::State& state) {
    const auto buffer = MakeBuffer(static_cast<Content>(state.range(0)), static_cast<size_t>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(DetectTextEncoding(buffer.data(), static_cast<int32_t>(buffer.size())));
    }
    SetBytes(state, buffer.size());
}

void BM_MemchrZero(benchmark::State& state) {
    const auto buffer = MakeBuffer(static_cast<Content>(state.range(0)), static_cast<size_t>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::memchr(buffer.data(), 0, buffer.size()));
    }
    SetBytes(state, buffer.size());
}

void BM_PlainLoop(benchmark::State& state) {
    const auto buffer = MakeBuffer(static_cast<Content>(state.range(0)), static_cast<size_t>(state.range(1)));
    for (auto _ : state) {
        uint32_t sum = 0;
        for (uint8_t b : buffer) {
            sum += b;
        }
        benchmark::DoNotOptimize(sum);
    }
    SetBytes(state, buffer.size());
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int content = SevenBit; content <= EucHiraganaToTheEnd; ++content) {
        for (int64_t size : {int64_t{1024}, int64_t{1} << 20}) {
            b->Args({content, size});
        }
    }
    b->ArgNames({"content", "bytes"});
}

BENCHMARK(BM_Detect)->Apply(Sizes);
BENCHMARK(BM_MemchrZero)->Apply(Sizes);
BENCHMARK(BM_PlainLoop)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
