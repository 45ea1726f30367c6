// Play's file stages before singing: the current song saved as
// "temp_plsv.mid", read back, its lyrics made singable, the sung part written.
#pragma once

#include <string>

namespace harmolin {

// Writes the sung part of the XF song at xfSong to output. delayMs holds the
// accompaniment back; syllablePrograms selects the syllable-program form.
// False (reported) when a stage fails; nothing is written then.
bool writeSungFile(const std::string& xfSong, const std::string& workingFolder, const std::string& dataFolder,
                   int delayMs, bool syllablePrograms, const std::string& output);

// The same from the song already saved as "temp_plsv.mid" at saved: read
// back, made singable, sequenced.
bool writeSungFileFromSaved(const std::string& saved, const std::string& workingFolder, const std::string& dataFolder,
                            int delayMs, bool syllablePrograms, const std::string& output);

} // namespace harmolin
