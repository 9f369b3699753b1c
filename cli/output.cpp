#include "cli/output.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace olv::cli {

namespace {

template <typename T> QByteArray Shortest(T value) {
    if (!std::isfinite(value)) return "null";
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) return "null";
    // to_chars writes "1e+20" and "-0", both JSON numbers as they stand.
    return QByteArray(buffer, static_cast<qsizetype>(end - buffer));
}

void Write(std::FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QByteArray JsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

QByteArray JsonNumber(float value) {
    return Shortest(value);
}

QByteArray JsonNumber(double value) {
    return Shortest(value);
}

void JsonObject::key(const char* name) {
    if (!body_.isEmpty()) body_ += ',';
    body_ += JsonString(QString::fromLatin1(name));
    body_ += ':';
}

JsonObject& JsonObject::add(const char* name, const QString& value) {
    key(name);
    body_ += JsonString(value);
    return *this;
}

JsonObject& JsonObject::add(const char* name, int64_t value) {
    key(name);
    body_ += QByteArray::number(static_cast<qlonglong>(value));
    return *this;
}

JsonObject& JsonObject::add(const char* name, float value) {
    key(name);
    body_ += JsonNumber(value);
    return *this;
}

JsonObject& JsonObject::add(const char* name, double value) {
    key(name);
    body_ += JsonNumber(value);
    return *this;
}

JsonObject& JsonObject::add(const char* name, bool value) {
    key(name);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::addNull(const char* name) {
    key(name);
    body_ += "null";
    return *this;
}

JsonObject& JsonObject::addRaw(const char* name, const QByteArray& json) {
    key(name);
    body_ += json;
    return *this;
}

void PrintLine(const QByteArray& line) {
    Write(stdout, line + '\n');
}

void PrintLine(const QString& line) {
    PrintLine(line.toUtf8());
}

void PrintError(const QString& message) {
    QString text = message.trimmed();
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ').replace(u'\r', u' ');
    Write(stderr, "modbus-olv-cli: " + text.toUtf8() + '\n');
}

void PrintNote(const QString& message) {
    Write(stderr, message.toUtf8());
}

} // namespace olv::cli
