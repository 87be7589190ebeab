// Formatted output into e-strings (StringF) and with e-list arguments (StringFL, PrintL).
#include "strings/format.h"

#include "runtime/exception.h"

#include <cstdarg>
#include <cstdio>

// The format of these calls is the caller's and not a literal by design: StringF hands its own
// format on, and the list calls apply the caller's format to the list's items.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

constexpr int32_t kListArguments = 20;

/// Formats into eString's buffer (room for its maximum length plus NUL) and sets the length to
/// min(maximum length, formatted length); an encoding failure of the formatter leaves it empty.
void formatInto(EString eString, const char* format, std::va_list arguments) {
    const int32_t max = StrMax(eString);
    const int formatted =
        std::vsnprintf(eString, static_cast<std::size_t>(max) + 1, format, arguments);
    const int32_t length = formatted < 0 ? 0 : (formatted < max ? formatted : max);
    SetStr(eString, length);
    secondResult = length;
}

/// The 20 arguments of a list call: the list's items, then zeros. Raises `tooMany` for more
/// than 20 items; NILL gives 20 zeros.
struct ListArguments {
    EListItem a[kListArguments] = {};
    ListArguments(EList list, const char* tooMany) {
        const int32_t count = list == nullptr ? 0 : ListLen(list);
        if (count > kListArguments)
            Throw(ID_EPU, tooMany);
        for (int32_t k = 0; k < count; ++k)
            a[k] = list[k];
    }
};

} // namespace

EString StringF(EString eString, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    formatInto(eString, format, arguments);
    va_end(arguments);
    return eString;
}

int32_t PrintL(const char* format, EList args) {
    const ListArguments v(args, "PrintL(); args has too many items");
    return std::printf(format, v.a[0], v.a[1], v.a[2], v.a[3], v.a[4], v.a[5], v.a[6], v.a[7],
                       v.a[8], v.a[9], v.a[10], v.a[11], v.a[12], v.a[13], v.a[14], v.a[15],
                       v.a[16], v.a[17], v.a[18], v.a[19]);
}

EString StringFL(EString eString, const char* format, EList args) {
    const ListArguments v(args, "StringFL(); args has too many items");
    return StringF(eString, format, v.a[0], v.a[1], v.a[2], v.a[3], v.a[4], v.a[5], v.a[6], v.a[7],
                   v.a[8], v.a[9], v.a[10], v.a[11], v.a[12], v.a[13], v.a[14], v.a[15], v.a[16],
                   v.a[17], v.a[18], v.a[19]);
}

#pragma GCC diagnostic pop
