#pragma once
// The program frame's services for every library and program: text and
// number conversions, the memory heap, colours, random numbers, clocks, the
// local date and the modal message box.
//
// Texts are std::string values holding single-byte Windows-1252 bytes. The
// conversions produce exactly the forms that the game messages and the wire
// protocol rely on ("%ld" for integers, "%f" for floats).

#include <array>
#include <cstdint>
#include <span>
#include <string>

// --- Texts and numbers -------------------------------------------------------

// Decimal form of a signed 32-bit value ("%ld"): "-2147483648", "0", "42".
std::string TextFromLong(int32_t value);

// "%f" form of a float widened to double: six decimals, no exponent ("1.500000").
std::string TextFromFloat(float value);

// Skips leading spaces (byte 32 only), takes one optional sign and the run of
// decimal digits after it. Overflow wraps modulo 2^32; no digits give 0.
int32_t TextToLong(const std::string& text);

// Number of bytes before the first NUL byte (the whole length when there is none).
int32_t TextLength(const std::string& text);

// Field k (counted from 1; k below 1 counts as 1) of a text split at the
// first byte of separator. An empty separator gives the whole text; a field
// past the last one gives the empty text.
std::string TextField(const std::string& text, int32_t k, const std::string& separator);

// Copy of the NUL-terminated text at the start of memory. Stops at the end of
// the span when no NUL byte comes first; an empty span gives the empty text.
std::string TextFromMemory(std::span<const uint8_t> memory);

// The value rounded toward zero; -2147483648 for NaN and values outside the
// signed 32-bit range.
int32_t FloatToLongTruncated(float value);

// Packed colour red + green * 256 + blue * 65536. The parts are added, not
// masked; the sum wraps modulo 2^32.
int32_t RGB(int32_t r, int32_t g, int32_t b);

// --- Memory heap ---------------------------------------------------------------

// A zero-filled block of size bytes owned by the memory heap; it lives until
// the heap's end hook runs. nullptr for a size of 0 or less, or when memory
// runs out.
uint8_t* MemoryAlloc(int32_t size);

// Start-up hook: makes the memory heap ready (empty).
void FrameMemoryStartHook();
// End hook: frees every block handed out by MemoryAlloc.
void FrameMemoryEndHook();

// --- Random numbers ------------------------------------------------------------

// Uniform integer from 0 to max inclusive; -2147483648 for a negative max.
// Every call advances the generator by one step, whatever max is.
int32_t Random(int32_t max);

// Restarts the generator from seed: the same seed gives the same sequence.
void RandomSeed(uint32_t seed);

// Start-up hook: seeds the generator with the millisecond clock.
void FrameRandomStartHook();

// The generator's whole state (its 17 pairs of words, first word first, and
// its two lag positions 0 .. 16), so that a recorded match can restart it
// exactly where the match found it.
struct RandomState {
  std::array<uint32_t, 34> words{};
  int32_t p1 = 0;
  int32_t p2 = 10;
};
RandomState RandomSave();
// Positions outside 0 .. 16 are taken modulo 17.
void RandomRestore(const RandomState& state);

// --- Clocks and date -------------------------------------------------------------

// Suspends the calling thread for ms milliseconds (0 or less: no wait).
void SleepMs(int32_t ms);

// Milliseconds since an arbitrary start (system start), wrapping after 2^32 ms.
uint32_t ElapsedMs();

// The local wall-clock date and time as seconds since 1970-01-01 00:00:00,
// counted as if the local time were universal time.
int64_t DateNow();

// Copies mask, replacing "%yyyy", "%yy", "%mm", "%dd", "%hh", "%ii" and "%ss"
// (letter case ignored) with the fields of date, read as universal time. A '%'
// before anything else is copied unchanged.
std::string FormatDate(const std::string& mask, int64_t date);

// --- Message box -----------------------------------------------------------------

// Shows a modal message box (flags 0: OK button; 16: OK with the error icon)
// and returns the number of the button pressed (1 = OK).
int32_t MessageBox(const std::string& title, const std::string& text, int32_t flags);

// The window library registers these so that its own windows are disabled
// while a message box is up: disable runs right before the box is shown,
// enable right after it closes. nullptr clears a hook.
using MessageBoxWindowHook = void (*)();
void MessageBoxSetWindowHooks(MessageBoxWindowHook disable, MessageBoxWindowHook enable);
