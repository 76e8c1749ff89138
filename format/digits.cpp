// Binary to decimal after David M. Gay's dtoa, mode 2 only. Three ways to the digits, in
// order of cost, each as in the published algorithm:
//   1. A floating-point estimate, with a bound on its error (ieps units of the last place
//      plus 7), that settles the digits unless the value lies too near a rounding tie.
//   2. Exact double arithmetic for integers up to 10^14.
//   3. Big integers: the value as b / S scaled by powers of 2 and 5, one digit per
//      quotient.
// Modifications to the published code: one target (IEEE little-endian, 32-bit limbs with
// 64-bit products), no static result buffer (the digits live in the caller's record), and
// allocation failure handled (see approximateDigits).
#include "format/digits.h"

#include "stl/heap.h"

namespace {

// 10^0..10^22, all exact in double: 22 = floor(53 * log(2) / log(5)).
const f64 kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                     1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// 10^(16 * 2^i): scaling steps for the estimate of path 1.
const f64 kBigTens[] = {1e16, 1e32, 1e64, 1e128, 1e256};

const i32 kQuickMax = 14;  // digits path 1 can deliver: double has 15.95
const i32 kIntMax = 14;    // 10^14 < 2^53, so path 2 stays exact

// ---------------------------------------------------------------------------------------
// Big integers: 2^k 32-bit limbs, least significant first.

struct BigInt {
    BigInt* next;  // free list, or the next power of five in the cache
    i32 k;
    i32 maxWords;
    i32 words;
    u32 x[1];
};

const i32 kFreeListClasses = 8;  // classes 0..7: up to 128 limbs, about 1,233 decimal digits
BigInt* freeLists[kFreeListClasses];
volatile u32 freeListLock;
BigInt* volatile powersOfFive;  // 5^4, 5^8, 5^16, ..., each the square of the one before
volatile u32 powersOfFiveLock;

BigInt* allocBig(i32 k) {
    BigInt* b = nullptr;
    if (k < kFreeListClasses) {
        acquireSpinLock(&freeListLock);
        b = freeLists[k];
        if (b)
            freeLists[k] = b->next;
        releaseSpinLock(&freeListLock);
    }
    if (!b) {
        i32 limbs = 1 << k;
        b = static_cast<BigInt*>(allocate(sizeof(BigInt) + sizeof(u32) * u64(limbs - 1)));
        if (!b)
            return nullptr;
        b->k = k;
        b->maxWords = limbs;
    }
    b->words = 0;
    return b;
}

void freeBig(BigInt* b) {
    if (!b)
        return;
    if (b->k >= kFreeListClasses) {
        deallocate(b);
        return;
    }
    acquireSpinLock(&freeListLock);
    b->next = freeLists[b->k];
    freeLists[b->k] = b;
    releaseSpinLock(&freeListLock);
}

void copyBig(BigInt* to, const BigInt* from) {
    to->words = from->words;
    __builtin_memcpy(to->x, from->x, sizeof(u32) * u64(from->words));
}

BigInt* fromUnsigned(u64 value) {
    BigInt* b = allocBig(1);
    if (!b)
        return nullptr;
    b->x[0] = u32(value);
    b->x[1] = u32(value >> 32);
    b->words = b->x[1] ? 2 : 1;
    return b;
}

// b * m + a; consumes b.
BigInt* multiplyAdd(BigInt* b, u32 m, u32 a) {
    if (!b)
        return nullptr;
    u64 carry = a;
    for (i32 i = 0; i < b->words; ++i) {
        u64 y = u64(b->x[i]) * m + carry;
        carry = y >> 32;
        b->x[i] = u32(y);
    }
    if (carry) {
        if (b->words >= b->maxWords) {
            BigInt* grown = allocBig(b->k + 1);
            if (grown)
                copyBig(grown, b);
            freeBig(b);
            b = grown;
            if (!b)
                return nullptr;
        }
        b->x[b->words++] = u32(carry);
    }
    return b;
}

// a * b; consumes neither.
BigInt* multiply(const BigInt* a, const BigInt* b) {
    if (a->words < b->words) {
        const BigInt* t = a;
        a = b;
        b = t;
    }
    i32 words = a->words + b->words;
    i32 k = a->k;
    if (words > a->maxWords)
        ++k;
    BigInt* c = allocBig(k);
    if (!c)
        return nullptr;
    __builtin_memset(c->x, 0, sizeof(u32) * u64(words));
    for (i32 j = 0; j < b->words; ++j) {
        u64 y = b->x[j];
        if (!y)
            continue;
        u64 carry = 0;
        for (i32 i = 0; i < a->words; ++i) {
            u64 z = a->x[i] * y + c->x[i + j] + carry;
            carry = z >> 32;
            c->x[i + j] = u32(z);
        }
        c->x[j + a->words] = u32(carry);
    }
    while (words > 1 && c->x[words - 1] == 0)
        --words;
    c->words = words;
    return c;
}

// The cached power after `p` (null: the first, 5^4 = 625), made on first use.
BigInt* nextPowerOfFive(BigInt* p) {
    BigInt* next = p ? __atomic_load_n(&p->next, __ATOMIC_ACQUIRE) : __atomic_load_n(&powersOfFive, __ATOMIC_ACQUIRE);
    if (next)
        return next;
    acquireSpinLock(&powersOfFiveLock);
    next = p ? p->next : powersOfFive;
    if (!next) {
        next = p ? multiply(p, p) : fromUnsigned(625);
        if (next) {
            next->next = nullptr;
            if (p)
                __atomic_store_n(&p->next, next, __ATOMIC_RELEASE);
            else
                __atomic_store_n(&powersOfFive, next, __ATOMIC_RELEASE);
        }
    }
    releaseSpinLock(&powersOfFiveLock);
    return next;
}

// b * 5^k; consumes b.
BigInt* multiplyByPowerOfFive(BigInt* b, i32 k) {
    static const u32 smallPowers[] = {5, 25, 125};
    if (k & 3)
        b = multiplyAdd(b, smallPowers[(k & 3) - 1], 0);
    k >>= 2;
    BigInt* p = nullptr;
    while (k && b) {
        p = nextPowerOfFive(p);
        if (!p) {
            freeBig(b);
            return nullptr;
        }
        if (k & 1) {
            BigInt* product = multiply(b, p);
            freeBig(b);
            b = product;
        }
        k >>= 1;
    }
    return b;
}

// b << n; consumes b.
BigInt* shiftLeft(BigInt* b, i32 n) {
    if (!b)
        return nullptr;
    i32 limbs = n >> 5;
    i32 words = b->words + limbs + 1;
    i32 k = b->k;
    for (i32 capacity = b->maxWords; words > capacity; capacity <<= 1)
        ++k;
    BigInt* c = allocBig(k);
    if (!c) {
        freeBig(b);
        return nullptr;
    }
    __builtin_memset(c->x, 0, sizeof(u32) * u64(limbs));
    n &= 31;
    u32* out = c->x + limbs;
    if (n) {
        u32 carry = 0;
        for (i32 i = 0; i < b->words; ++i) {
            *out++ = (b->x[i] << n) | carry;
            carry = b->x[i] >> (32 - n);
        }
        *out = carry;
        if (!carry)
            --words;
    } else {
        for (i32 i = 0; i < b->words; ++i)
            *out++ = b->x[i];
        --words;
    }
    c->words = words;
    freeBig(b);
    return c;
}

i32 compare(const BigInt* a, const BigInt* b) {
    if (a->words != b->words)
        return a->words < b->words ? -1 : 1;
    for (i32 i = a->words - 1; i >= 0; --i)
        if (a->x[i] != b->x[i])
            return a->x[i] < b->x[i] ? -1 : 1;
    return 0;
}

i32 bitLength(const BigInt* b) {
    return 32 * (b->words - 1) + (32 - __builtin_clz(b->x[b->words - 1]));
}

void trim(BigInt* b) {
    while (b->words > 1 && b->x[b->words - 1] == 0)
        --b->words;
}

// One decimal digit: b / S, leaving the remainder in b. S's top limb has exactly four
// leading zero bits and b < 10 S, so the estimate from the top limbs is low by at most 1.
u32 quotientDigit(BigInt* b, const BigInt* S) {
    i32 n = S->words;
    if (b->words < n)
        return 0;
    u32 q = b->x[n - 1] / (S->x[n - 1] + 1);
    if (q) {
        u64 borrow = 0, carry = 0;
        for (i32 i = 0; i < n; ++i) {
            u64 ys = u64(S->x[i]) * q + carry;
            carry = ys >> 32;
            u64 y = u64(b->x[i]) - u32(ys) - borrow;
            borrow = (y >> 32) & 1;
            b->x[i] = u32(y);
        }
        trim(b);
    }
    if (compare(b, S) >= 0) {
        ++q;
        u64 borrow = 0;
        for (i32 i = 0; i < n; ++i) {
            u64 y = u64(b->x[i]) - S->x[i] - borrow;
            borrow = (y >> 32) & 1;
            b->x[i] = u32(y);
        }
        trim(b);
    }
    return q;
}

bool isZero(const BigInt* b) {
    return b->words <= 1 && b->x[0] == 0;
}

// ---------------------------------------------------------------------------------------

f64 fromBits(u64 bits) {
    f64 value;
    __builtin_memcpy(&value, &bits, 8);
    return value;
}

// Raises the last digit before `end`, carrying through nines; returns the new end. A carry
// out of the first digit makes "1" and raises the exponent.
char* roundUp(char* first, char* end, i32* k) {
    char* s = end;
    while (*--s == '9') {
        if (s == first) {
            ++*k;
            *s = '1';
            return s + 1;
        }
    }
    ++*s;
    return s + 1;
}

char* dropTrailingZeros(char* first, char* end) {
    while (end > first + 1 && end[-1] == '0')
        --end;
    return end;
}

// Path 1. False when the error bound does not settle the last digit.
bool estimateDigits(f64 d, i32* kRef, i32 ilim, bool kCheck, char* first, char** end) {
    i32 k = *kRef;
    i32 ieps = 2;  // error in units of the last place, conservatively
    if (k > 0) {
        f64 ds = kTens[k & 0xF];
        i32 j = k >> 4;
        i32 i = 0;
        if (j & 0x10) {  // 10^256 and up: divide it out first, or ds would overflow
            j &= 0xF;
            d /= kBigTens[4];
            ++ieps;
        }
        for (; j; j >>= 1, ++i) {
            if (j & 1) {
                ++ieps;
                ds *= kBigTens[i];
            }
        }
        d /= ds;
    } else if (k < 0) {
        i32 j1 = -k;
        d *= kTens[j1 & 0xF];
        i32 i = 0;
        for (i32 j = j1 >> 4; j; j >>= 1, ++i) {
            if (j & 1) {
                ++ieps;
                d *= kBigTens[i];
            }
        }
    }
    if (kCheck && d < 1.0) {
        --k;
        d *= 10.0;
        ++ieps;
    }
    f64 eps = (ieps * d + 7.0) * 0x1p-52 * kTens[ilim - 1];
    char* s = first;
    for (i32 n = 1;; ++n, d *= 10.0) {
        i64 digit = i64(d);
        d -= f64(digit);
        if (d == 0)
            ilim = n;
        *s++ = char('0' + digit);
        if (n == ilim) {
            if (d > 0.5 + eps) {
                *end = roundUp(first, s, &k);
            } else if (d < 0.5 - eps) {
                *end = dropTrailingZeros(first, s);
            } else {
                return false;
            }
            *kRef = k;
            return true;
        }
    }
}

// Path 2: d is an integer below 10^15 and 10^k its leading power.
char* integerDigits(f64 d, i32* k, i32 ilim, char* first) {
    f64 ds = kTens[*k];
    char* s = first;
    for (i32 n = 1;; ++n, d *= 10.0) {
        i64 digit = i64(d / ds);
        d -= f64(digit) * ds;
        *s++ = char('0' + digit);
        if (d == 0)
            break;
        if (n == ilim) {
            d += d;
            if (d > ds || (d == ds && (digit & 1)))
                return roundUp(first, s, k);
            break;
        }
    }
    return dropTrailingZeros(first, s);
}

// Path 3. Null when the heap could not supply a big integer.
char* bigDigits(u64 mantissa, i32 b2, i32 b5, i32 s2, i32 s5, i32* k, bool kCheck, i32 ilim, char* first) {
    BigInt* b = fromUnsigned(mantissa);
    if (b5 > 0)
        b = multiplyByPowerOfFive(b, b5);
    BigInt* S = fromUnsigned(1);
    if (s5 > 0)
        S = multiplyByPowerOfFive(S, s5);
    char* s = nullptr;
    if (b && S) {
        // Shift both so that S's top limb has four leading zero bits: then the quotient of
        // the top limbs estimates each digit to within one.
        i32 shift = (28 - (bitLength(S) + s2)) & 31;
        b2 += shift;
        s2 += shift;
        if (b2 > 0)
            b = shiftLeft(b, b2);
        if (s2 > 0)
            S = shiftLeft(S, s2);
    }
    if (b && S && kCheck && compare(b, S) < 0) {
        --*k;  // the estimate of k was one too high
        b = multiplyAdd(b, 10, 0);
    }
    if (b && S) {
        s = first;
        u32 digit = 0;
        bool exact = false;
        for (i32 n = 1;; ++n) {
            digit = quotientDigit(b, S);
            *s++ = char('0' + digit);
            if (isZero(b)) {
                exact = true;
                break;
            }
            if (n >= ilim)
                break;
            b = multiplyAdd(b, 10, 0);
            if (!b) {
                s = nullptr;
                break;
            }
        }
        if (s && !exact) {
            b = shiftLeft(b, 1);
            if (!b) {
                s = nullptr;
            } else {
                i32 half = compare(b, S);
                s = half > 0 || (half == 0 && (digit & 1)) ? roundUp(first, s, k) : dropTrailingZeros(first, s);
            }
        }
    }
    freeBig(b);
    freeBig(S);
    return s;
}

// Without big integers: the value scaled in double precision to an integer of `ilim`
// digits and rounded. Right unless the value lies within a few units in the last bit of
// a decimal tie, and only used when the heap is exhausted.
u64 scaledInteger(f64 d, i32 k, i32 ilim) {
    i32 exponent = ilim - 1 - k;
    for (i32 e = exponent > 0 ? exponent : -exponent; e > 0; e -= 22) {
        f64 power = kTens[e > 22 ? 22 : e];
        d = exponent > 0 ? d * power : d / power;
    }
    u64 integer = u64(d + 0.5);
    if (f64(integer) - d == 0.5 && (integer & 1))  // a tie in double: to even, as the exact paths do
        --integer;
    return integer;
}

char* approximateDigits(f64 d, i32* k, i32 ilim, char* first) {
    u64 limit = u64(kTens[ilim]);
    u64 integer = scaledInteger(d, *k, ilim);
    if (integer < limit / 10)  // the estimate of k was one too high
        integer = scaledInteger(d, --*k, ilim);
    if (integer >= limit) {  // rounded up to the next power of ten
        integer = (integer + 5) / 10;
        ++*k;
    }
    char* s = first + ilim;
    for (char* p = s; p > first; integer /= 10)
        *--p = char('0' + integer % 10);
    return dropTrailingZeros(first, s);
}

void setText(DecimalDigits* out, const char* text, i32 decpt) {
    u32 length = u32(textLength(text));
    __builtin_memcpy(out->digits, text, length + 1);
    out->count = length;
    out->decpt = decpt;
}

}  // namespace

void generateDigits(f64 value, u32 count, DecimalDigits* out) {
    u64 bits;
    __builtin_memcpy(&bits, &value, 8);
    out->negative = (bits >> 63) != 0;
    bits &= ~(u64(1) << 63);
    u32 biased = u32(bits >> 52);
    u64 mantissa = bits & ((u64(1) << 52) - 1);
    if (biased == 0x7FF) {
        setText(out, mantissa ? "NaN" : "Infinity", 9999);
        return;
    }
    if (bits == 0) {
        setText(out, "0", 1);
        return;
    }
    f64 d = fromBits(bits);

    // d = mantissa * 2^be with the mantissa odd, bbits its bit length.
    i32 be;
    if (biased) {
        mantissa |= u64(1) << 52;
        be = i32(biased) - 1075;
    } else {
        be = -1074;
    }
    i32 zeros = __builtin_ctzll(mantissa);
    mantissa >>= zeros;
    be += zeros;
    i32 bbits = 64 - __builtin_clzll(mantissa);
    i32 i = be + bbits - 1;  // d lies in [2^i, 2^(i+1))

    // k = floor(log10(d)) or one more, from log10(d) ~ log10(1.5) + (d2 - 1.5) / (1.5 ln 10)
    // + i log10(2) with d2 = d / 2^i in [1, 2). Exact where 10^k is a table power.
    f64 d2 = f64(mantissa) * fromBits(u64(1023 - (bbits - 1)) << 52);
    f64 ds = (d2 - 1.5) * 0.289529654602168 + 0.1760912590558 + i * 0.301029995663981;
    i32 k = i32(ds);
    if (ds < 0.0 && ds != k)
        --k;
    bool kCheck = true;
    if (k >= 0 && k <= 22) {
        if (d < kTens[k])
            --k;
        kCheck = false;
    }

    // d / 10^k = (mantissa * 2^b2 * 5^b5) / (2^s2 * 5^s5)
    i32 b2 = be > 0 ? be : 0;
    i32 s2 = be > 0 ? 0 : -be;
    i32 b5 = 0, s5 = 0;
    if (k >= 0) {
        s5 = k;
        s2 += k;
    } else {
        b2 -= k;
        b5 = -k;
    }

    i32 ilim = i32(count);
    char* first = out->digits;
    char* end = nullptr;
    i32 estimateK = k;
    if (ilim <= kQuickMax && estimateDigits(d, &estimateK, ilim, kCheck, first, &end)) {
        k = estimateK;
    } else if (be >= 0 && k <= kIntMax) {
        end = integerDigits(d, &k, ilim, first);
    } else {
        i32 bigK = k;
        end = bigDigits(mantissa, b2, b5, s2, s5, &bigK, kCheck, ilim, first);
        if (end)
            k = bigK;
        else
            end = approximateDigits(d, &k, ilim, first);
    }
    *end = 0;
    out->count = u32(end - first);
    out->decpt = k + 1;
}

char* writePositional(f64 value, char* out) {
    DecimalDigits d;
    generateDigits(value, 4, &d);
    if (d.negative)
        *out++ = '-';
    i32 n = i32(d.count);
    if (d.decpt == 9999) {
        for (i32 i = 0; i < n; ++i)
            *out++ = d.digits[i];
    } else if (d.decpt <= 0) {
        *out++ = '0';
        *out++ = '.';
        for (i32 i = 0; i < -d.decpt; ++i)
            *out++ = '0';
        for (i32 i = 0; i < n; ++i)
            *out++ = d.digits[i];
    } else if (d.decpt < n) {
        for (i32 i = 0; i < d.decpt; ++i)
            *out++ = d.digits[i];
        *out++ = '.';
        for (i32 i = d.decpt; i < n; ++i)
            *out++ = d.digits[i];
    } else {
        for (i32 i = 0; i < n; ++i)
            *out++ = d.digits[i];
        for (i32 i = n; i < d.decpt; ++i)
            *out++ = '0';
        *out++ = '.';
        *out++ = '0';
    }
    return out;
}
