#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace olv::records {

// The records of a CSV text, each a list of its fields, as spreadsheets read them: fields end at the
// separator, records at a line break (CR LF, LF or a lone CR); a field that begins with a double quote
// runs to the quote that closes it, holding separators, line breaks and doubled quotes (read as one);
// characters between a closing quote and the next separator are kept. A record that is one empty field
// (a blank line) is left out.
//
// A quote that is never closed would otherwise take every later record into one field: such a record
// is read again with its line breaks ending it, and so is every record after it, so that they stay
// records of their own (a line break inside a quoted field after it then ends its record too).
std::vector<QStringList> ParseCsv(const QString& text, QChar separator);

// The program's exports for spreadsheets (the journal, the trend's table) are written alike: UTF-8
// after a byte order mark, ';' between the fields, CR LF after each record, so that a spreadsheet in
// Russian opens them in columns with the letters right.
inline constexpr const char* CsvBom = "\xEF\xBB\xBF";

// A text as an export keeps it: control characters other than the line break and the tab (a NUL
// byte, an escape, a lone CR, C1 controls) and invisible format characters become visible as \xHH or
// \uHHHH; CR LF becomes a line break.
QString CleanCsvText(const QString& text);

// Whether a field gets a leading apostrophe, so that a spreadsheet keeps it as text: it would be taken
// for a formula ("=…", "+…", "@…", "-" before anything but a number), or it is apostrophes in front of
// such a text (which would otherwise read back with one apostrophe less).
bool CsvNeedsFormulaGuard(const QString& text);

// One record: every field cleaned (CleanCsvText), guarded against formulas, and quoted when it holds
// ';', '"', a line break or blanks at its ends; ';' between them, CR LF at the end; UTF-8.
QByteArray CsvRecord(const QStringList& fields);

// A number as a spreadsheet in Russian reads it: the shortest text that reads back as the same float,
// with a decimal comma ("0,8125", "-2,5", "1,5e-05"); "" for NaN and infinities, which no spreadsheet
// takes for a number.
QString SpreadsheetNumber(float value);

// A number's text written with a decimal point ("-0.1000", "1.00012004", "1.5e-05") with a decimal
// comma instead, as SpreadsheetNumber writes it; any other text ("nan", "не прочитано (…)", a date)
// as it is.
QString SpreadsheetDecimal(const QString& text);

} // namespace olv::records
