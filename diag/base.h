// Fixed-width types and the few primitives every module shares. Nothing here may
// include a system header beyond the compiler's own freestanding ones: the byte-level
// modules build natively for the sanitizers and the fuzzers as well as for Windows.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef int16_t i16;
typedef int32_t i32;
typedef int64_t i64;
typedef uintptr_t uptr;
typedef float f32;
typedef double f64;

// UTF-16 text. Windows' wchar_t is 16 bits but Linux's is 32, so neutral code spells
// UTF-16 as char16_t and the Windows side casts at the API boundary.
typedef char16_t Utf16;

// A 32-bit word taken by compare-exchange from 0 to 1, with a processor pause between
// tries, and released by storing 0. Held only for a copy or an append, never across a call
// that may block.
inline void acquireSpinLock(volatile u32* lock) {
    for (;;) {
        u32 expected = 0;
        if (__atomic_compare_exchange_n(lock, &expected, 1u, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
            return;
        __builtin_ia32_pause();
    }
}

// One attempt, for a thread that must not wait (the user-interface thread, while a worker
// may hold the lock across a call that needs that thread).
inline bool tryAcquireSpinLock(volatile u32* lock) {
    u32 expected = 0;
    return __atomic_compare_exchange_n(lock, &expected, 1u, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

inline void releaseSpinLock(volatile u32* lock) {
    __atomic_store_n(lock, 0u, __ATOMIC_RELEASE);
}

// Little-endian loads from byte positions that need not be aligned.
inline u16 loadU16(const u8* p) {
    u16 v;
    __builtin_memcpy(&v, p, 2);
    return v;
}

inline u32 loadU32(const u8* p) {
    u32 v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

inline f32 loadF32(const u8* p) {
    f32 v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

// The decimal digits of `value` at `out`, no terminator; returns the position after them
// (at most 20 characters).
inline char* writeDecimal(char* out, u64 value) {
    char digits[20];
    u32 count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value);
    while (count)
        *out++ = digits[--count];
    return out;
}

// The units of a NUL-terminated text before its terminator; for 8-bit, UTF-16 and wide
// texts alike.
template <typename Unit>
inline u64 textLength(const Unit* text) {
    u64 length = 0;
    while (text[length])
        ++length;
    return length;
}

// The same, looking at no more than `limit` units: a text that long or longer gives `limit`.
template <typename Unit>
inline u64 textLength(const Unit* text, u64 limit) {
    u64 length = 0;
    while (length < limit && text[length])
        ++length;
    return length;
}

// The lowest `digits` hexadecimal digits of `value`, upper case, most significant first,
// at `out` (8-bit or UTF-16), no terminator; returns the position after them.
template <typename Unit>
inline Unit* writeHex(Unit* out, u32 value, u32 digits) {
    for (u32 shift = digits * 4; shift > 0;) {
        shift -= 4;
        *out++ = Unit("0123456789ABCDEF"[(value >> shift) & 0xF]);
    }
    return out;
}

// TAB, LF, VT, FF, CR and SPACE: the whitespace of STL text.
inline bool isStlWhitespace(u8 c) {
    return c == ' ' || u8(c - 9) <= 4;
}

#define COUNT_OF(array) (sizeof(array) / sizeof((array)[0]))
