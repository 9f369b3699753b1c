#pragma once

class TForm1;

namespace olv::records {
struct RecordData;
} // namespace olv::records

// Everything the record states, read now: the instrument's state and its live value. False, after
// the exchange error was reported, when the instrument could not be read.
bool ReadRecord(TForm1& form, olv::records::RecordData& data);
