#include "text/icu_converter.h"

#include <map>
#include <string>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

namespace qelvanto::icu_support {
namespace {

// Writes U+FFFD for every undecodable sequence, whatever its length (ICU's own substitution
// writes U+001A for some single bytes).
void WriteReplacement(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                      UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) return;
    *error = U_ZERO_ERROR;
    static const UChar kReplacement = 0xFFFD;
    ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, error);
}

}  // namespace

void ConverterCloser::operator()(UConverter* converter) const noexcept { ucnv_close(converter); }

ConverterPtr OpenConverter(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(name, &error));
    if (U_FAILURE(error)) converter.reset();
    return converter;
}

UConverter* ThreadConverter(int code_page) {
    thread_local std::map<int, ConverterPtr> converters;
    auto [it, inserted] = converters.try_emplace(code_page);
    if (inserted) {
        const std::string number = std::to_string(code_page);
        it->second = OpenConverter(("windows-" + number).c_str());
        if (!it->second) it->second = OpenConverter(("ibm-" + number).c_str());
        if (it->second) {
            UErrorCode error = U_ZERO_ERROR;
            ucnv_setToUCallBack(it->second.get(), WriteReplacement, nullptr, nullptr, nullptr,
                                &error);
        }
    }
    return it->second.get();
}

std::u16string DecodeWith(UConverter* converter, std::string_view bytes) {
    ucnv_resetToUnicode(converter);
    std::u16string out(bytes.size() + 16, u'\0');
    const char* source = bytes.data();
    const char* const source_end = source + bytes.size();
    std::size_t used = 0;
    for (;;) {
        UChar* target = out.data() + used;
        UErrorCode error = U_ZERO_ERROR;
        ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, source_end, nullptr,
                       true, &error);
        used = static_cast<std::size_t>(target - out.data());
        if (error != U_BUFFER_OVERFLOW_ERROR) break;
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return out;
}

std::string EncodeWith(UConverter* converter, std::u16string_view units) {
    ucnv_resetFromUnicode(converter);
    std::string out(units.size() * 2 + 16, '\0');
    const UChar* source = units.data();
    const UChar* const source_end = source + units.size();
    std::size_t used = 0;
    for (;;) {
        char* target = out.data() + used;
        UErrorCode error = U_ZERO_ERROR;
        ucnv_fromUnicode(converter, &target, out.data() + out.size(), &source, source_end,
                         nullptr, true, &error);
        used = static_cast<std::size_t>(target - out.data());
        if (error != U_BUFFER_OVERFLOW_ERROR) break;
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return out;
}

}  // namespace qelvanto::icu_support
