// Small routines shared by every layer: file checks and appends, number/text
// conversion, raw memory blocks, base64, the text form of a wave format and
// the level meter of a block of samples.
//
// All routines are free functions without shared state (except the optional
// diagnostic sink of infoMessage) and may be called from any thread. Strings
// are byte strings (UTF-8 on this system); "blank" means a byte of code 32 or
// below.
//
// maxFormatSize (the largest format record the compression manager reports)
// is not here: it needs the compression manager and lives with it in
// platform/acm.
#pragma once

#include "platform/mmsystem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// --- files -----------------------------------------------------------------

// True when the name is not empty and the file system knows it (a folder
// counts as present).
bool fileExists(const std::string& fileName);

// Appends size bytes of block to the file, creating it when missing.
// 0 success (also when block is null or size is 0: nothing is written),
// -1 empty name, -2 the file cannot be opened or created, -3 the write
// failed, -4 fewer bytes were written than asked (for example a full disk).
int32_t AppendToFile(const std::string& fileName, const void* block, uint32_t size);

// --- numbers and text --------------------------------------------------------

// Digits of value in base 2..16 ("0123456789ABCDEF"), groupChar inserted
// every groupSize digits from the right when groupSize > 0, "-" in front of
// negative values. Zero gives "0"; another base gives "" for other values.
std::string int2str(int32_t value, uint32_t base = 10, uint32_t groupSize = 0,
                    char groupChar = ',');
std::string int2str(uint32_t value, uint32_t base = 10, uint32_t groupSize = 0,
                    char groupChar = ',');
std::string int2str(uint16_t value, uint32_t base = 10, uint32_t groupSize = 0,
                    char groupChar = ',');
// Wider values follow the same rules (so that size_t and friends are not
// ambiguous between the three widths above).
std::string int2str(int64_t value, uint32_t base = 10, uint32_t groupSize = 0,
                    char groupChar = ',');
std::string int2str(uint64_t value, uint32_t base = 10, uint32_t groupSize = 0,
                    char groupChar = ',');

// Parses text as a number in base (2..256), returning def when the text is
// not a number. Lenient rules kept for the stored settings files:
//  - the text is trimmed; empty text or a base outside 2..256 gives def;
//  - a trailing "H"/"h" is dropped and turns base 10 into 16;
//  - for bases up to 16, leading "0", "+", "-" are taken as zeros and signs,
//    "$", "X", "x" are skipped and turn base 10 into 16;
//  - the remaining characters are digits 0-9, A-F/a-f (not checked against
//    the base); anything else gives def. Above base 16 every byte is a digit
//    of its own code.
// The sum is taken in 64 bits (wrapping on overflow).
int64_t str2int(const std::string& text, int64_t def, uint32_t base = 10);

// Value of a hexadecimal digit (0-9, A-F, a-f), or -1 for any other byte.
int hexDigit(char c);

// Removes bytes of code 32 or below from the start (left) and the end
// (right). Trimming the start always keeps the last byte, so a blank-only
// text trimmed only from the left keeps one blank; from both sides it
// becomes empty.
std::string trimStr(const std::string& text, bool left = true, bool right = true);

// a when condition holds, else b.
inline int32_t choice(bool condition, int32_t a, int32_t b) {
    return condition ? a : b;
}
inline std::string choice(bool condition, const std::string& a, const std::string& b) {
    return condition ? a : b;
}
template <class T> inline T* choice(bool condition, T* a, T* b) {
    return condition ? a : b;
}

// --- memory blocks -----------------------------------------------------------
// Blocks come from the C heap: resize them with resizeBlock, free them with
// freeBlock (or resizeBlock to 0).

// Null for size 0; otherwise size bytes, every one set to fillByte when fill.
void* allocBlock(size_t size, bool fill = false, uint8_t fillByte = 0);

// Resizes the block in place (null grows from nothing, 0 frees it and leaves
// null) and returns the new address. On failure to grow the old block is
// kept and null is returned.
void* resizeBlock(void*& block, size_t newSize);
template <class T> inline T* resizeBlock(T*& block, size_t newSize) {
    void* p = block;
    void* r = resizeBlock(p, newSize);
    block = static_cast<T*>(p);
    return static_cast<T*>(r);
}

// Frees the block and leaves the variable null.
void freeBlock(void*& block);
template <class T> inline void freeBlock(T*& block) {
    void* p = block;
    freeBlock(p);
    block = nullptr;
}

// Empties the variable first, then destroys the object it held. Always true.
template <class T> inline bool freeObjectRef(T*& object) {
    T* o = object;
    object = nullptr;
    delete o;
    return true;
}

// Greatest common divisor; 1 when either argument is 0.
uint32_t gcd(uint32_t a, uint32_t b);

// --- base64 (RFC 4648 alphabet, "=" padding, no line breaks) -----------------

std::string base64Encode(const void* block, size_t length);
// Bytes outside the alphabet (the padding too) are skipped; every group of
// 2, 3 or 4 symbols gives 1, 2 or 3 bytes; a single trailing symbol gives
// nothing.
std::string base64Decode(const std::string& text);

// --- wave formats as text -----------------------------------------------------

// base64 of the record's bytes: 16 of them for PCM, 18 + cbSize otherwise.
// Empty text for a null record.
std::string format2str(const WAVEFORMATEX* format);

// Decodes text into a new block stored in format (the block the variable
// held is freed with freeBlock). False, and format untouched, when the text
// decodes to nothing. The new block is never shorter than the record it
// describes: a 16-byte PCM text gets a zero cbSize, and missing extra bytes
// read as zeros, so the record can always be read in full.
bool str2format(const std::string& text, WAVEFORMATEX*& format);

// --- diagnostics ---------------------------------------------------------------

// Diagnostic text. Off by default: nothing happens unless a sink was set.
// Always true.
bool infoMessage(const std::string& text);
// Installs (or, with an empty function, removes) the diagnostic sink. Set it
// once at start-up, before other threads call infoMessage.
void setInfoMessageSink(std::function<void(const std::string&)> sink);

// --- level meter ----------------------------------------------------------------

// Root-mean-square level of one channel of count interleaved samples, rounded
// to the nearest integer. 16-bit samples are signed; 8-bit are
// (byte - 128) * 256, and so are 4-bit ones, read as the whole byte that
// holds them (never past the block); 32-bit samples are signed 32-bit
// values; other sizes are read as signed little-endian values of bits/8
// bytes. With delta the level of the differences between neighbouring
// samples (the first compared with 0) is measured instead. 0 when count or
// channelCount is 0 or channel >= channelCount.
uint32_t waveLevel(const void* samples, uint32_t count, uint32_t bitsPerSample, uint32_t channel,
                   uint32_t channelCount, bool delta = false);
