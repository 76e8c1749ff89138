#include "app/text_output.h"

#include "diag/messages.h"
#include "format/float_text.h"
#include "stl/heap.h"

void appendBytes(TextOutput* out, const void* bytes, u64 length) {
    if (out->failed)
        return;
    if (out->length + length > out->capacity) {
        u64 capacity = out->capacity * 2 > out->length + length ? out->capacity * 2 : out->length + length + 256;
        void* grown = out->bytes ? reallocate(out->bytes, capacity) : allocate(capacity);
        if (!grown) {
            out->failed = true;
            return;
        }
        out->bytes = static_cast<u8*>(grown);
        out->capacity = capacity;
    }
    __builtin_memcpy(out->bytes + out->length, bytes, length);
    out->length += length;
}

void appendText(TextOutput* out, const char* text) {
    appendBytes(out, text, textLength(text));
}

void appendUnsigned(TextOutput* out, u64 value) {
    char digits[20];
    appendBytes(out, digits, u64(writeDecimal(digits, value) - digits));
}

void appendFloat(TextOutput* out, f32 value) {
    char text[24];
    appendBytes(out, text, formatShortestFloat(value, text));
}

static void appendCodePoint(TextOutput* out, u32 c) {
    u8 bytes[4];
    u32 length;
    if (c < 0x80) {
        bytes[0] = u8(c);
        length = 1;
    } else if (c < 0x800) {
        bytes[0] = u8(0xC0 | (c >> 6));
        bytes[1] = u8(0x80 | (c & 0x3F));
        length = 2;
    } else if (c < 0x10000) {
        bytes[0] = u8(0xE0 | (c >> 12));
        bytes[1] = u8(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = u8(0x80 | (c & 0x3F));
        length = 3;
    } else {
        bytes[0] = u8(0xF0 | (c >> 18));
        bytes[1] = u8(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = u8(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = u8(0x80 | (c & 0x3F));
        length = 4;
    }
    appendBytes(out, bytes, length);
}

// The code point at text[*i], moving *i past it.
static u32 nextCodePoint(const Utf16* text, u64 units, u64* i) {
    u32 c = text[(*i)++];
    if (c >= 0xD800 && c < 0xDC00 && *i < units && text[*i] >= 0xDC00 && text[*i] < 0xE000)
        return 0x10000 + ((c - 0xD800) << 10) + (text[(*i)++] - 0xDC00);
    if (c >= 0xD800 && c < 0xE000)
        return 0xFFFD;
    return c;
}

void appendUtf16(TextOutput* out, const Utf16* text, u64 units) {
    for (u64 i = 0; i < units;)
        appendCodePoint(out, nextCodePoint(text, units, &i));
}

void appendJsonString(TextOutput* out, const Utf16* text, u64 units) {
    appendBytes(out, "\"", 1);
    for (u64 i = 0; i < units;) {
        u32 c = nextCodePoint(text, units, &i);
        if (c == '"' || c == '\\') {
            char escaped[2] = {'\\', char(c)};
            appendBytes(out, escaped, 2);
        } else if (c < 0x20) {
            char escaped[6] = {'\\', 'u'};
            writeHex(escaped + 2, c, 4);
            appendBytes(out, escaped, 6);
        } else {
            appendCodePoint(out, c);
        }
    }
    appendBytes(out, "\"", 1);
}

void appendFileText(TextOutput* out, const FileText* text, bool json) {
    Utf16* decoded = text->length ? static_cast<Utf16*>(allocate(u64(text->length) * 4 * sizeof(Utf16))) : nullptr;
    if (text->length && !decoded) {
        out->failed = true;
        return;
    }
    u64 units = text->length ? u64(decodeFileText(text, decoded) - decoded) : 0;
    if (json)
        appendJsonString(out, decoded, units);
    else
        appendUtf16(out, decoded, units);
    if (decoded)
        deallocate(decoded);
}

void releaseTextOutput(TextOutput* out) {
    if (out->bytes)
        deallocate(out->bytes);
    *out = TextOutput{};
}
