#pragma once

#include "search/search_settings.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>

namespace olv::settings {

// What a settings profile keeps of the window.
struct ProfileValues {
    int page = 4;                         // index of the page shown (the window fills it before saving)
    QString logFileName;                  // IZM/izm_name
    int logEnabled = 0;                   // IZM/write_file
    QStringList definitionLines;          // the lines of the description field (only 4 are stored)
    search::SearchSettings search;        // Seach
    int byteOrder = 0;                    // Format/fl (the load also means pendingByteOrder)
    std::array<uint16_t, 10> textWords{}; // TXT/ch0..ch9 = register image words 48..57
    int32_t model = 0, hardware = 0, software = 0; // MODEL/mdl, verh, vers (whole integers)
};

// recent.prf in the current working directory, asked for anew at every call.
QString RecentProfilePath();

// Reads a profile into values, creating the file with the default set first when it is missing.
// Every key read is written back (missing keys are added, malformed integers replaced), except the
// Definition lines, which are only read: definitionLines gets exactly four lines, empty ones included.
// showPage asks the window to show a page (called only for TAB/num in 0..5; the window runs its page
// change handling) and returns the index of the page shown afterwards; the index written back is that
// one, or currentPage when TAB/num is out of range. Throws IniWriteError when a write is refused;
// the values read before it stay filled.
void LoadProfile(const QString& path, ProfileValues& values, const std::function<int(int)>& showPage,
                 int currentPage);

// Writes the values to a profile. A read-only file is made writable first (when that fails the
// writes report it). Only the first four description lines are stored; a missing line is stored
// empty. IZM/izm_name is never written. Throws IniWriteError when a write is refused.
void SaveProfile(const QString& path, const ProfileValues& values);

// The name a profile is saved under from the save dialog: ".prf" is appended when the first filter
// entry was selected, no file of that name exists and the name does not already end in ".prf" (any
// case).
QString ProfileSaveName(const QString& chosen, bool firstFilterSelected);

} // namespace olv::settings
