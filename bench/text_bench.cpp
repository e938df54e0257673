// Throughput of the text primitives on the harvest's hot path: searching and cutting a page, and
// converting a search page between UTF-8 and code page 936. Each conversion runs beside ICU's
// own converter (windows-936 <-> UTF-8 through ucnv_convert) on the same bytes, as the peer.
//
// Run: build-.../bench/text_bench

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include <unicode/ucnv.h>

#include "text/codepage.h"
#include "text/delimited.h"
#include "text/text.h"

namespace {

using namespace qelvanto;

// Common characters of group names, in UTF-8.
const char* const kChinese[] = {
    "\xe5\x8c\x97", "\xe4\xba\xac", "\xe6\x91\x84", "\xe5\xbd\xb1", "\xe7\x88\xb1", "\xe5\xa5\xbd",
    "\xe8\x80\x85", "\xe5\xbc\x80", "\xe5\x8f\x91", "\xe4\xba\xa4", "\xe6\xb5\x81", "\xe8\xb7\x91",
    "\xe6\xad\xa5", "\xe7\xbe\xa4", "\xe4\xb8\xad", "\xe6\x96\x87", "\xe5\xad\xa6", "\xe7\x94\x9f",
    "\xe6\xb8\xb8", "\xe6\x88\x8f", "\xe9\x9f\xb3", "\xe4\xb9\x90", "\xe6\x97\x85", "\xe8\xa1\x8c"};
constexpr std::size_t kChineseCount = std::size(kChinese);

std::string ChineseName(std::uint32_t seed, int length) {
    std::string name;
    for (int i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        name += kChinese[(seed >> 16) % kChineseCount];
    }
    return name;
}

// A JSONP search page of about 200 KB in UTF-8: mostly ASCII, with Chinese names.
const std::string& SearchPageUtf8() {
    static const std::string page = [] {
        std::string body = "jsonp1700000000000({\"retcode\":0,\"result\":{\"page\":1,\"group_list\":[";
        for (int i = 0; body.size() < 200 * 1024; ++i) {
            if (i) body += ',';
            body += "{\"groupNum\":" + std::to_string(100000000 + i * 7919) +
                    ",\"ugroupId\":" + std::to_string(5000000 + i) +
                    ",\"memberNum\":" + std::to_string((i * 37) % 2000) + ",\"name\":\"" +
                    ChineseName(static_cast<std::uint32_t>(i), 3 + i % 6) +
                    "\",\"owner\":{\"uid\":" + std::to_string(300000000 + i) +
                    ",\"nick\":\"" + ChineseName(static_cast<std::uint32_t>(i * 3), 2) +
                    std::to_string(i % 100) + "\"},\"flag\":false,\"level\":" +
                    std::to_string(i % 7) + "}";
        }
        return body + "]}})";
    }();
    return page;
}

// 1 MiB of Chinese text in UTF-8 with a full stop now and then.
const std::string& ChineseUtf8() {
    static const std::string text = [] {
        std::string t;
        for (std::uint32_t i = 0; t.size() < (1u << 20); ++i) {
            t += ChineseName(i, 20);
            t += "\xe3\x80\x82";
        }
        return t;
    }();
    return text;
}

const Text& SearchPageAnsi() {
    static const Text page = Utf8ToAnsi(Text(SearchPageUtf8()));
    return page;
}

const Text& ChineseAnsi() {
    static const Text text = Utf8ToAnsi(Text(ChineseUtf8()));
    return text;
}

// 1 MiB of code page 936 text mixing Chinese and ASCII, ending in the needle.
const Text& MixedWithNeedle() {
    static const Text text = [] {
        std::string utf8;
        for (std::uint32_t i = 0; utf8.size() < (1u << 20); ++i) {
            utf8 += ChineseName(i, 4) + " item-" + std::to_string(i) + " ";
        }
        utf8 += "NeedleAtTheEnd";
        return Utf8ToAnsi(Text(utf8));
    }();
    return text;
}

void FindTextIgnoringCase(benchmark::State& state) {
    const Text& subject = MixedWithNeedle();
    const Text needle("needleattheend");
    for (auto _ : state) benchmark::DoNotOptimize(FindText(subject, needle, std::nullopt, true));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(subject.size()));
}
BENCHMARK(FindTextIgnoringCase);

void TextBetweenLastRecord(benchmark::State& state) {
    const Text& page = SearchPageAnsi();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextBetween(page, Text("]}})"), Text("zzz")));
        benchmark::DoNotOptimize(TextBetween(page, Text("\"level\":6}"), Text("]}})")));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}
BENCHMARK(TextBetweenLastRecord);

void Utf8ToAnsiSearchPage(benchmark::State& state) {
    const Text page(SearchPageUtf8());
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToAnsi(page));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}
BENCHMARK(Utf8ToAnsiSearchPage);

void AnsiToUtf8SearchPage(benchmark::State& state) {
    const Text& page = SearchPageAnsi();
    for (auto _ : state) benchmark::DoNotOptimize(AnsiToUtf8(page));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}
BENCHMARK(AnsiToUtf8SearchPage);

void Utf8ToAnsiChinese(benchmark::State& state) {
    const Text text(ChineseUtf8());
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToAnsi(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(Utf8ToAnsiChinese);

void AnsiToUtf8Chinese(benchmark::State& state) {
    const Text& text = ChineseAnsi();
    for (auto _ : state) benchmark::DoNotOptimize(AnsiToUtf8(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(AnsiToUtf8Chinese);

void DecodeAnsiWithOffsetsSearchPage(benchmark::State& state) {
    const Text& page = SearchPageAnsi();
    std::u16string units;
    std::vector<std::uint32_t> offsets;
    for (auto _ : state) {
        DecodeAnsi(page.view(), units, &offsets);
        benchmark::DoNotOptimize(units.data());
        benchmark::DoNotOptimize(offsets.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(page.size()));
}
BENCHMARK(DecodeAnsiWithOffsetsSearchPage);

// The peer: ICU converting the same bytes in one call.
void IcuConvert(benchmark::State& state, const char* to, const char* from, const std::string& in) {
    std::string out(in.size() * 2 + 16, '\0');
    for (auto _ : state) {
        UErrorCode error = U_ZERO_ERROR;
        benchmark::DoNotOptimize(ucnv_convert(to, from, out.data(),
                                              static_cast<int32_t>(out.size()), in.data(),
                                              static_cast<int32_t>(in.size()), &error));
        if (U_FAILURE(error)) state.SkipWithError(u_errorName(error));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(in.size()));
}
BENCHMARK_CAPTURE(IcuConvert, Utf8To936SearchPage, "windows-936", "UTF-8", SearchPageUtf8());
BENCHMARK_CAPTURE(IcuConvert, AnsiToUtf8SearchPage, "UTF-8", "windows-936",
                  SearchPageAnsi().str());
BENCHMARK_CAPTURE(IcuConvert, Utf8To936Chinese, "windows-936", "UTF-8", ChineseUtf8());
BENCHMARK_CAPTURE(IcuConvert, AnsiToUtf8Chinese, "UTF-8", "windows-936", ChineseAnsi().str());

}  // namespace

BENCHMARK_MAIN();
