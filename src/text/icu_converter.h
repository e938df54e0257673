#pragma once

// Owners of ICU converters and whole-buffer conversions through them. Internal to the text
// library; an ICU converter belongs to one thread at a time, so each thread keeps its own.

#include <memory>
#include <string>
#include <string_view>

struct UConverter;

namespace qelvanto::icu_support {

struct ConverterCloser {
    void operator()(UConverter* converter) const noexcept;
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Opens a converter by ICU name; empty when ICU does not know the name.
ConverterPtr OpenConverter(const char* name);

// The calling thread's converter for a Windows code page number ("windows-N", else "ibm-N"),
// opened on first use and kept until the thread ends; null when ICU has neither.
UConverter* ThreadConverter(int code_page);

// Whole-buffer conversions. Bytes the converter cannot decode become U+FFFD; characters it
// cannot encode become the converter's own substitution bytes.
std::u16string DecodeWith(UConverter* converter, std::string_view bytes);
std::string EncodeWith(UConverter* converter, std::u16string_view units);

}  // namespace qelvanto::icu_support
