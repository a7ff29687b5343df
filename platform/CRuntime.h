#pragma once
// Number-to-text helpers of the C runtime that the progress texts use.

/// Writes value with at most `digits` significant digits into buffer (the %g style of the runtime call,
/// with a trailing '.' kept for whole numbers, e.g. 12 -> "12."). buffer must hold digits + 8 bytes.
char* _gcvt(double value, int digits, char* buffer);
/// Writes value in the given radix (2 to 36); a negative value has a leading '-' only in radix 10.
/// buffer must hold 33 bytes.
char* _itoa(int value, char* buffer, int radix);
