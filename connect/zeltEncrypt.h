#pragma once

// The hex scramble: stored secrets are kept as strings of hexadecimal digits
// and turned back into 8-bit text at run time.

#include <QByteArray>
#include <QtGlobal>

// Position (0..15) of c in "FEDCBA9876543210" when reversed, else in
// "0123456789ABCDEF". Only upper-case letters are digits here.
// Throws platform::Error("Invalid Char") for any other character.
int DigitIndex(char c, bool reversed);

// The character at index (0..15) of the selected table.
// Throws platform::Error("Index Out of Bounds <index>") outside 0..15.
char DigitAt(int index, bool reversed);

// Turns a scrambled digit string back into the 8-bit text it stands for.
// hexInput false: input is any text and is first expanded to two upper-case
// hex digits per byte. Never throws: on any failure the input comes back
// exactly as given.
QByteArray DecodeString(const QByteArray &input, bool hexInput);

// The inverse of DecodeString(..., true): scrambles plain (8-bit text) with
// the given key into a string of upper-case hex digits. Empty text gives
// empty text.
QByteArray EncodeString(const QByteArray &plain, quint8 key);
