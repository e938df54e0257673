#include "regex/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/c_owner.h"
#include "text/codepage.h"

namespace qelvanto {

namespace {

using CodeOwner = COwner<pcre2_code_16, pcre2_code_free_16>;
using CompileContextOwner = COwner<pcre2_compile_context_16, pcre2_compile_context_free_16>;
using MatchDataOwner = COwner<pcre2_match_data_16, pcre2_match_data_free_16>;
using MatchContextOwner = COwner<pcre2_match_context_16, pcre2_match_context_free_16>;
using JitStackOwner = COwner<pcre2_jit_stack_16, pcre2_jit_stack_free_16>;

// The JIT stack grows on demand up to this size; the lazy groups of a record pattern need
// very little of it, deeply nested patterns hit the limit and end the search.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;

// Decoding buffers beyond this many units are not kept for the next search.
constexpr std::size_t kKeepUnits = std::size_t{1} << 23;

// A subject longer than Limits::offset_table_bytes is decoded slice by slice and keeps only
// a checkpoint every kCheckpointUnits units, so a page at the body cap does not need four
// bytes of offsets per unit.
constexpr std::size_t kSliceBytes = std::size_t{64} * 1024;
constexpr std::size_t kCheckpointUnits = 256;
// No character is longer than this; the decoder looks no further than that from its start.
constexpr std::size_t kMaxCharBytes = 4;

PCRE2_SPTR16 Units(const std::u16string& s) { return reinterpret_cast<PCRE2_SPTR16>(s.data()); }

std::u16string Decode(const Text& text) {
    std::u16string out;
    DecodeAnsi(text.view(), out);
    return out;
}

// A match context carrying the work limits and, when it could be made, a JIT stack.
struct MatchSetup {
    MatchContextOwner context;
    JitStackOwner jit_stack;
};

MatchSetup MakeMatchSetup(const RegexObject::Limits& limits) {
    MatchSetup setup;
    setup.context.reset(pcre2_match_context_create_16(nullptr));
    if (!setup.context) return setup;
    pcre2_set_match_limit_16(setup.context.get(), limits.match);
    pcre2_set_depth_limit_16(setup.context.get(), limits.depth);
    setup.jit_stack.reset(pcre2_jit_stack_create_16(kJitStackStart, kJitStackMax, nullptr));
    if (setup.jit_stack) pcre2_jit_stack_assign_16(setup.context.get(), nullptr, setup.jit_stack.get());
    return setup;
}

}  // namespace

struct RegexObject::Compiled {
    Text pattern;
    std::uint32_t options = 0;
    CodeOwner code;
    std::uint32_t groups = 0;
};

struct RegexObject::Scratch {
    // A unit that starts a character, with the byte offset of that character.
    struct Checkpoint {
        std::uint32_t unit;
        std::uint32_t byte;
    };

    MatchSetup setup;
    MatchDataOwner match_data;
    // The decoded subject. Kept between searches so pages of similar size reuse the memory;
    // dropped after a very large subject.
    std::u16string units;
    // Checkpoints in unit order, the first at unit 0. Between two of them (or after the last)
    // lies a stretch that decodes on its own to the same units as within the whole subject.
    std::vector<Checkpoint> checkpoints;
    // The byte offset of every unit of one stretch, relative to its first byte, plus the
    // stretch's byte length: the whole subject when it is short, else the stretch used last.
    std::u16string stretch_units;
    std::vector<std::uint32_t> stretch_offsets;
    std::uint32_t stretch_unit = 0;
    std::uint32_t stretch_byte = 0;

    bool Decode(std::string_view subject, std::size_t offset_table_bytes);
    std::uint32_t ByteOffset(std::string_view subject, std::size_t unit);
};

// Fills `units` (and the checkpoints) from the subject; false when it cannot be split.
bool RegexObject::Scratch::Decode(std::string_view subject, std::size_t offset_table_bytes) {
    checkpoints.assign(1, Checkpoint{0, 0});
    stretch_unit = 0;
    stretch_byte = 0;
    if (subject.size() <= std::max(kSliceBytes, offset_table_bytes)) {
        DecodeAnsi(subject, units, &stretch_offsets);
        return stretch_offsets.size() == units.size() + 1;
    }
    units.clear();
    units.reserve(subject.size());
    std::size_t byte = 0;
    for (;;) {
        const std::size_t slice = std::min(kSliceBytes, subject.size() - byte);
        const bool last = byte + slice == subject.size();
        DecodeAnsi(subject.substr(byte, slice), stretch_units, &stretch_offsets);
        const std::vector<std::uint32_t>& offsets = stretch_offsets;
        if (offsets.size() != stretch_units.size() + 1) return false;
        std::size_t take = stretch_units.size();
        if (!last) {
            // The characters near the cut may decode differently without the bytes after it;
            // the slice ends before the last character start that cannot be affected.
            while (take > 0 &&
                   (offsets[take] + kMaxCharBytes > slice || offsets[take] == offsets[take - 1]))
                --take;
            if (take == 0) return false;
        }
        const std::size_t first = units.size();
        if (first != 0)
            checkpoints.push_back(
                {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(byte)});
        for (std::size_t k = kCheckpointUnits; k < take; k += kCheckpointUnits) {
            // Never between the two units of a surrogate pair.
            const std::size_t at = offsets[k] == offsets[k - 1] ? k + 1 : k;
            if (at < take)
                checkpoints.push_back({static_cast<std::uint32_t>(first + at),
                                       static_cast<std::uint32_t>(byte + offsets[at])});
        }
        units.append(stretch_units, 0, take);
        if (last) {
            // What is left in the stretch buffers is the last slice, whole.
            stretch_unit = static_cast<std::uint32_t>(first);
            stretch_byte = static_cast<std::uint32_t>(byte);
            return true;
        }
        byte += offsets[take];
    }
}

// The byte offset in the subject of `unit` (or of the end, for the unit count); kUnset when
// it cannot be worked out.
std::uint32_t RegexObject::Scratch::ByteOffset(std::string_view subject, std::size_t unit) {
    if (unit >= stretch_unit && unit - stretch_unit < stretch_offsets.size())
        return stretch_byte + stretch_offsets[unit - stretch_unit];
    // The stretch from the checkpoint at or before the unit is decoded again on its own;
    // it starts at a character, so its units are those of the whole subject.
    auto next = std::upper_bound(checkpoints.begin(), checkpoints.end(), unit,
                                 [](std::size_t u, const Checkpoint& c) { return u < c.unit; });
    if (next == checkpoints.begin()) return kUnset;
    const Checkpoint from = *std::prev(next);
    const std::size_t to = next == checkpoints.end() ? subject.size() : next->byte;
    DecodeAnsi(subject.substr(from.byte, to - from.byte), stretch_units, &stretch_offsets);
    stretch_unit = from.unit;
    stretch_byte = from.byte;
    if (unit - stretch_unit >= stretch_offsets.size()) {
        stretch_offsets.clear();
        return kUnset;
    }
    return stretch_byte + stretch_offsets[unit - stretch_unit];
}

RegexObject::RegexObject() noexcept = default;
RegexObject::RegexObject(Limits limits) noexcept : limits_(limits) {}
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(RegexObject&& other) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&& other) noexcept = default;

RegexObject::RegexObject(const RegexObject& other)
    : limits_(other.limits_),
      created_(other.created_),
      global_(other.global_),
      pattern_(other.pattern_),
      subject_(other.subject_),
      compiled_(other.compiled_),
      spans_(other.spans_),
      groups_(other.groups_) {}

RegexObject& RegexObject::operator=(const RegexObject& other) {
    if (this != &other) {
        RegexObject copy(other);
        *this = std::move(copy);
    }
    return *this;
}

bool RegexObject::Create(const Text& pattern, const Text& subject,
                         std::optional<bool> case_sensitive, std::optional<bool> multi_line,
                         std::optional<bool> global) {
    subject_ = subject;
    return Search(pattern, case_sensitive, multi_line, global);
}

bool RegexObject::Create(const Text& pattern, Text&& subject, std::optional<bool> case_sensitive,
                         std::optional<bool> multi_line, std::optional<bool> global) {
    subject_ = std::move(subject);
    return Search(pattern, case_sensitive, multi_line, global);
}

bool RegexObject::Search(const Text& pattern, std::optional<bool> case_sensitive,
                         std::optional<bool> multi_line, std::optional<bool> global) {
    const bool ignore_case = !case_sensitive.value_or(false);
    global_ = global.value_or(true);
    created_ = true;
    pattern_ = pattern;
    spans_.clear();
    groups_ = 0;

    // ALT_BSUX gives \uhhhh and \xhh the script meaning; DOLLAR_ENDONLY keeps a single-line $
    // from matching in front of a final line feed; \C could split a surrogate pair.
    std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY |
                            PCRE2_NEVER_BACKSLASH_C;
    if (ignore_case) options |= PCRE2_CASELESS;
    if (multi_line.value_or(true)) options |= PCRE2_MULTILINE;

    if (!compiled_ || compiled_->options != options || compiled_->pattern != pattern) {
        compiled_.reset();
        if (scratch_) scratch_->match_data.reset();
        auto compiled = std::make_shared<Compiled>();
        compiled->pattern = pattern;
        compiled->options = options;
        CompileContextOwner context(pcre2_compile_context_create_16(nullptr));
        if (!context) return false;
        pcre2_set_newline_16(context.get(), PCRE2_NEWLINE_LF);
        const std::u16string units = Decode(pattern);
        int error = 0;
        PCRE2_SIZE error_offset = 0;
        compiled->code.reset(pcre2_compile_16(Units(units), units.size(), options, &error,
                                              &error_offset, context.get()));
        if (!compiled->code) return false;
        // Without JIT (unsupported platform, no executable memory) the interpreter matches.
        pcre2_jit_compile_16(compiled->code.get(), PCRE2_JIT_COMPLETE);
        std::uint32_t groups = 0;
        pcre2_pattern_info_16(compiled->code.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
        compiled->groups = groups;
        compiled_ = std::move(compiled);
    }
    const pcre2_code_16* code = compiled_->code.get();
    groups_ = compiled_->groups;

    // Byte positions are handed out as int.
    if (subject_.size() >= static_cast<std::size_t>(INT_MAX)) return true;

    if (!scratch_) scratch_ = std::make_unique<Scratch>();
    if (!scratch_->setup.context) scratch_->setup = MakeMatchSetup(limits_);
    if (!scratch_->match_data)
        scratch_->match_data.reset(pcre2_match_data_create_from_pattern_16(code, nullptr));
    if (!scratch_->setup.context || !scratch_->match_data) return true;

    Scratch& scratch = *scratch_;
    const std::string_view subject = subject_.view();
    struct Release {
        Scratch& scratch;
        ~Release() {
            if (scratch.units.capacity() > kKeepUnits) {
                std::u16string().swap(scratch.units);
                std::vector<Scratch::Checkpoint>().swap(scratch.checkpoints);
            }
            if (scratch.stretch_offsets.capacity() > kKeepUnits)
                std::vector<std::uint32_t>().swap(scratch.stretch_offsets);
        }
    } release{scratch};
    if (!scratch.Decode(subject, limits_.offset_table_bytes)) return true;
    const std::u16string& units = scratch.units;

    pcre2_match_data_16* match_data = scratch_->match_data.get();
    const PCRE2_SIZE length = units.size();
    const PCRE2_SPTR16 data = Units(units);
    // The first search checks the whole subject once; later ones skip that check.
    std::uint32_t match_options = 0;
    PCRE2_SIZE start = 0;
    const std::size_t per_match = std::size_t{groups_} + 1;
    while (start <= length) {
        const int rc = pcre2_match_16(code, data, length, start, match_options, match_data,
                                      scratch_->setup.context.get());
        // No match, a hit limit or any other error: what was found so far is the result.
        if (rc <= 0) break;
        match_options = PCRE2_NO_UTF_CHECK;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(match_data);
        for (std::size_t g = 0; g < per_match; ++g) {
            const PCRE2_SIZE b = ovector[2 * g];
            const PCRE2_SIZE e = ovector[2 * g + 1];
            if (static_cast<int>(g) >= rc || b == PCRE2_UNSET || b > length || e > length) {
                spans_.push_back({kUnset, kUnset});
            } else {
                const std::uint32_t begin = scratch.ByteOffset(subject, b);
                const std::uint32_t end = e < b ? begin : scratch.ByteOffset(subject, e);
                if (begin == kUnset || end == kUnset) {
                    spans_.push_back({kUnset, kUnset});
                } else {
                    spans_.push_back({begin, end});
                }
            }
        }
        if (!global_) break;
        // After an empty match the next search starts one character further on.
        PCRE2_SIZE next = ovector[1];
        if (next <= ovector[0] || next <= start) {
            next = std::max(ovector[0], start);
            if (next >= length) break;
            ++next;
            if (next < length && (data[next - 1] & 0xFC00) == 0xD800 &&
                (data[next] & 0xFC00) == 0xDC00)
                ++next;
        }
        start = next;
    }
    return true;
}

Text RegexObject::Pattern() const { return created_ ? pattern_ : Text(); }

Text RegexObject::Replace(const Text& replacement) const {
    if (!compiled_) return Text();
    MatchSetup setup = MakeMatchSetup(limits_);
    if (!setup.context) return Text();
    const std::u16string subject = Decode(subject_);
    const std::u16string with = Decode(replacement);
    std::uint32_t options = PCRE2_SUBSTITUTE_OVERFLOW_LENGTH;
    if (global_) options |= PCRE2_SUBSTITUTE_GLOBAL;

    std::u16string out(subject.size() + with.size() + 64, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        PCRE2_SIZE out_length = out.size();
        const int rc = pcre2_substitute_16(
            compiled_->code.get(), Units(subject), subject.size(), 0, options, nullptr,
            setup.context.get(), Units(with), with.size(),
            reinterpret_cast<PCRE2_UCHAR16*>(out.data()), &out_length);
        if (rc == PCRE2_ERROR_NOMEMORY && attempt == 0) {
            // out_length now holds the size needed, including the terminating zero.
            out.assign(out_length, u'\0');
            continue;
        }
        if (rc < 0) return Text();
        out.resize(out_length);
        std::string utf16le;
        utf16le.reserve(2 * out.size() + 2);
        for (char16_t unit : out) {
            utf16le.push_back(static_cast<char>(unit & 0xFF));
            utf16le.push_back(static_cast<char>(unit >> 8));
        }
        utf16le.append(2, '\0');
        return Utf16ToCodePage(Bytes(std::move(utf16le)), kCodePageGbk);
    }
    return Text();
}

int RegexObject::MatchCount() const {
    return static_cast<int>(spans_.size() / (std::size_t{groups_} + 1));
}

const RegexObject::Span* RegexObject::FindSpan(int match, int group) const {
    if (match < 1 || match > MatchCount() || group < 0 ||
        static_cast<std::uint32_t>(group) > groups_)
        return nullptr;
    return &spans_[(static_cast<std::size_t>(match) - 1) * (std::size_t{groups_} + 1) +
                   static_cast<std::size_t>(group)];
}

Text RegexObject::Cut(const Span* span, int* position) const {
    if (!span || span->begin == kUnset) {
        if (position) *position = -1;
        return Text();
    }
    if (position) *position = static_cast<int>(span->begin);
    return Text(subject_.view().substr(span->begin, span->end - span->begin));
}

Text RegexObject::MatchText(int match, int* position) const {
    return Cut(FindSpan(match, 0), position);
}

Text RegexObject::SubmatchText(int match, int group, int* position) const {
    if (group < 1) {
        if (position) *position = -1;
        return Text();
    }
    return Cut(FindSpan(match, group), position);
}

int RegexObject::SubmatchCount() const { return spans_.empty() ? 0 : static_cast<int>(groups_); }

}  // namespace qelvanto
