// The user's preferences, under HKEY_CURRENT_USER "SOFTWARE\Bellfin\Tanuvia", plus two bits of
// Explorer's own settings. No cache: every call opens the key, reads (or writes) and closes it, so a
// change made anywhere in the process applies at the next use. A missing or malformed value reads
// as its default, which is written back at once.
#pragma once

// 1: files added keep their long names; 0: a file with a short alternate name is stored under it.
int UseLongName();
void UseLongName(int value);
// Method digit of new members: 0 ("-lh0-", stored) or 4 to 7 ("-lh4-" .. "-lh7-"). Default 5.
int EncodeMethod();
void EncodeMethod(int digit);
// Header level of new members, 0 to 3. Default 2.
int HeaderLevel();
void HeaderLevel(int level);
// View mode of new archive windows: 0 the browser's choice, 1 large icons, 2 small icons, 3 list,
// 4 details. Default 3.
int DefaultView();
void DefaultView(int mode);
// 1: new archive windows start auto-arranged. Default 0.
int AutoArrange();
void AutoArrange(int value);
// 1: members of 1 MB or less show their own picture as icon. Default 0.
int DecodeImage();
void DecodeImage(int value);
// Seconds before a long operation shows its progress dialog, 0 to 30; -1: never. Default 3.
int DialogDelay();
void DialogDelay(int seconds);
// Explorer's "open each folder in its own window" (CabinetState "Settings"). Writing changes only
// that bit of the existing value; when there is no readable value nothing is written.
int NewWindowMode();
void NewWindowMode(int value);
// Explorer's "show file name extensions" (ShellState). Read only.
int ShowExtensions();

// The settings key under HKEY_CURRENT_USER.
constexpr const char* SettingsKey = "SOFTWARE\\Bellfin\\Tanuvia";
