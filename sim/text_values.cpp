#include "sim/text_values.h"

#include "text/cp1251.h"

#include <QString>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace olv::sim {

namespace {

bool ParseDigits(const std::string& text, size_t from, int base, long long& value) {
    if (from >= text.size()) return false;
    const char* first = text.data() + from;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value, base);
    return ec == std::errc() && end == last;
}

// The one character a Windows-1251 byte stands for, or an empty string for control bytes, the
// backslash and the byte the code page leaves undefined.
std::string PrintableChar(uint8_t byte) {
    if (byte < 0x20 || byte == 0x7F || byte == '\\') return {};
    const QString s = text::FromCp1251(QByteArray(1, static_cast<char>(byte)));
    if (s.size() != 1 || s[0] == QChar::ReplacementCharacter) return {};
    return s.toUtf8().toStdString();
}

} // namespace

bool ParseInteger(const std::string& text, long long& value) {
    const bool negative = !text.empty() && text[0] == '-';
    const size_t from = negative ? 1 : 0;
    long long magnitude = 0;
    bool ok = false;
    if (text.size() > from + 2 && text[from] == '0' && (text[from + 1] == 'x' || text[from + 1] == 'X'))
        ok = ParseDigits(text, from + 2, 16, magnitude);
    else
        ok = ParseDigits(text, from, 10, magnitude);
    if (!ok || (from < text.size() && text[from] == '-')) return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

bool ParseRegister(const std::string& text, int& reg) {
    long long value = 0;
    if (!ParseInteger(text, value) || value < 0 || value > 0xFFFF) return false;
    reg = static_cast<int>(value);
    return true;
}

bool ParseHex(const std::string& text, long long& value) {
    const size_t from = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
    if (from < text.size() && (text[from] == '-' || text[from] == '+')) return false;
    return ParseDigits(text, from, 16, value);
}

bool ParseFloat(const std::string& text, float& value) {
    if (text.empty()) return false;
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

std::string FormatFloat(float value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(value));
    return buf;
}

int ParityCodeOf(const std::string& text) {
    std::string t;
    for (char c : text)
        t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (t == "0" || t == "n" || t == "none") return 0;
    if (t == "1" || t == "o" || t == "odd") return 1;
    if (t == "2" || t == "e" || t == "even") return 2;
    return -1;
}

std::string EscapeText(const QByteArray& cp1251) {
    std::string out;
    for (char c : cp1251) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte == '\\') {
            out += "\\\\";
            continue;
        }
        const std::string ch = PrintableChar(byte);
        if (!ch.empty()) {
            out += ch;
            continue;
        }
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", byte);
        out += buf;
    }
    return out;
}

QByteArray UnescapeText(const std::string& text) {
    QByteArray out;
    std::string plain;
    auto flush = [&] {
        out += text::ToCp1251(QString::fromUtf8(plain.data(), static_cast<qsizetype>(plain.size())));
        plain.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            flush();
            out += '\\';
            ++i;
            continue;
        }
        long long byte = 0;
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            ParseDigits(text.substr(i + 2, 2), 0, 16, byte)) {
            flush();
            out += static_cast<char>(byte);
            i += 3;
            continue;
        }
        plain += text[i];
    }
    flush();
    return out;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

} // namespace olv::sim
