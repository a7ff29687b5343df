#include "platform/CRuntime.h"

#include <cstdio>
#include <cstring>

char* _gcvt(double value, int digits, char* buffer)
{
    if (digits < 1)
        digits = 1;
    if (digits > 17)
        digits = 17;
    std::snprintf(buffer, static_cast<size_t>(digits) + 8, "%.*g", digits, value);
    // Whole numbers keep their decimal point, as the runtime writes them ("12.").
    if (!std::strpbrk(buffer, ".eEni")) {
        const size_t len = std::strlen(buffer);
        buffer[len] = '.';
        buffer[len + 1] = '\0';
    }
    return buffer;
}

char* _itoa(int value, char* buffer, int radix)
{
    if (radix < 2 || radix > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    char digits[33];
    int n = 0;
    const bool negative = radix == 10 && value < 0;
    // Other radixes print the two's-complement bit pattern, as the runtime does.
    unsigned int u = negative ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        const unsigned int d = u % static_cast<unsigned int>(radix);
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        u /= static_cast<unsigned int>(radix);
    } while (u != 0);
    int at = 0;
    if (negative)
        buffer[at++] = '-';
    while (n > 0)
        buffer[at++] = digits[--n];
    buffer[at] = '\0';
    return buffer;
}
