#pragma once

#include <QByteArray>
#include <string>
#include <vector>

namespace olv::sim {

// Number and text conversions of the simulator's options, state files and commands. Numbers always use
// "." as the decimal separator, whatever the locale.

// Decimal, or hexadecimal after "0x"; an optional leading '-'. The whole text must be the number.
bool ParseInteger(const std::string& text, long long& value);
// A register number as ParseInteger reads it, within 0..65535 (the protocol's addresses).
bool ParseRegister(const std::string& text, int& reg);
// Hexadecimal with or without "0x".
bool ParseHex(const std::string& text, long long& value);
bool ParseFloat(const std::string& text, float& value);
// Shortest text that reads back as the same float ("%.9g").
std::string FormatFloat(float value);
// 0..2, N/O/E or none/odd/even (any case) -> parity code; -1 if none of them.
int ParityCodeOf(const std::string& text);

// The instrument's text as one line: Windows-1251 bytes -> UTF-8, with control bytes and bytes that
// have no character written as \xNN and the backslash as \\, so that any 16 bytes survive a
// key=value line. UnescapeText reverses it, giving the Windows-1251 bytes.
std::string EscapeText(const QByteArray& cp1251);
QByteArray UnescapeText(const std::string& text);

std::vector<std::string> SplitWords(const std::string& line);
std::vector<std::string> Split(const std::string& text, char separator);

} // namespace olv::sim
