// Access to the x87 control word, whose precision-control and rounding fields
// govern every long double operation.
#pragma once

static_assert(sizeof(long double) >= 10, "long double must be the x87 extended type");

inline unsigned short x87ControlWord() {
    unsigned short word;
    __asm__ __volatile__("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

inline void setX87ControlWord(unsigned short word) {
    __asm__ __volatile__("fldcw %0" : : "m"(word) : "memory");
}

// Precision control: bits 8 and 9; rounding control: bits 10 and 11.
constexpr unsigned short X87PrecisionMask = 0x0300;
constexpr unsigned short X87Precision64 = 0x0300;
constexpr unsigned short X87RoundingMask = 0x0C00;
constexpr unsigned short X87RoundToNearest = 0x0000;

// The caller's control word with 64-bit precision and rounding to nearest.
constexpr unsigned short extendedNearest(unsigned short word) {
    return static_cast<unsigned short>((word & ~(X87PrecisionMask | X87RoundingMask)) |
                                       X87Precision64 | X87RoundToNearest);
}
