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

} // namespace olv::records
