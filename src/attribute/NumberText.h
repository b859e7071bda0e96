// The value type's number <-> text conversions: the texts "%d" and "%.12lg" write, and the
// numbers "%d" and "%lg" read, with saturation where the C library would go wrong.
#pragma once

namespace qorutils {

// Room for the longest text either format writes ("-1.23456789012e-308") and its terminator.
constexpr int kNumberTextSize = 32;

// Write value as "%d" / "%.12lg" would, zero-terminated, into out (kNumberTextSize bytes);
// return the length.
int FormatInteger(int value, char* out);
int FormatReal(double value, char* out);

// Read text as sscanf "%d" would; no number gives 0, beyond 32 bits saturates by sign.
int ReadInteger(const char* text);
// Read text as sscanf "%lg" would; no number gives 0.0.
double ReadReal(const char* text);
// Truncate toward zero; beyond 32 bits saturates by sign, NaN gives 0.
int RealToInteger(double value);

} // namespace qorutils
