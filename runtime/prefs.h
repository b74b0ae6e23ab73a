#pragma once
// Reader of the preferences file: a plain text file of groups and key = value
// lines, read only, one file open at a time.
//
//   ; a comment line
//   [Data]
//   Name1 = Bob
//   Port=7000
//
// Group and key names compare ignoring the letter case of A-Z and must have
// exactly the requested length. Lines end with LF or CR LF. Key lines may be
// indented with spaces (not tabs); a group line starts in the first column.
// The first matching group and the first matching key of a group win. A
// missing file, group or key gives the default; nothing is ever reported.

#include <cstdint>
#include <string>

// Start-up hook: no file open, ';' starts a comment.
void PrefsInit();

// Makes the program directory the current directory, then loads the whole
// file. Non-zero on success; 0 when the file does not exist or cannot be read
// (then every read gives its default). Closes any file opened before.
int32_t PrefsOpen(const std::string& fileName);

// Where the settings file is looked for when there is none next to the
// program: $XDG_CONFIG_HOME/skirmora/Preferences.prefs, or
// ~/.config/skirmora/Preferences.prefs when that is unset or not absolute.
std::string PrefsUserSettingsPath();

// Opens the programs' settings file: "Preferences.prefs" next to the program
// (a build folder, an unpacked copy) wins; an installed program finds the
// user's own file instead. Non-zero when one of them was opened.
int32_t PrefsOpenSettings();

// Looks up the first line "[name]" of the file. 1 when found: the following
// reads look at the lines after it, up to the next group line. 0 when not
// found: every following read gives its default.
int32_t PrefsGroup(const std::string& name);

// The value of key in the current group, up to the line end; spaces at its end
// are kept. A key with an empty value gives the empty text.
std::string PrefsReadString(const std::string& key, const std::string& def);

// The value of key read as a C-library integer: white space (line ends
// included) is skipped, then an optional sign and digits. A found value with
// no digits gives 0. Values beyond the signed 32-bit range saturate at
// 2147483647 or -2147483648.
int32_t PrefsReadLong(const std::string& key, int32_t def);

// Forgets the open file; also the end hook. Harmless when nothing is open.
void PrefsClose();
