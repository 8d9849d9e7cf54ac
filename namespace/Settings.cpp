#include "namespace/Settings.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

const char* const BellfinKey = "SOFTWARE\\Bellfin";
const char* const CabinetStateKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CabinetState";
const char* const ExplorerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// Opens the settings key for writing (with `access`), creating it and "SOFTWARE\Bellfin" when it
// does not exist yet. Null when the registry refuses.
HKEY OpenSettingsForWriting(REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, access, &key) == ERROR_SUCCESS) return key;
  HKEY parent = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, BellfinKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &parent, nullptr) == ERROR_SUCCESS)
    RegCloseKey(parent);
  key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

void WriteStringSetting(const char* name, const char* text) {
  HKEY key = OpenSettingsForWriting(KEY_WRITE);
  if (!key) return;
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
  RegCloseKey(key);
}

// Reads up to `size` bytes of a value of the settings key into a zeroed buffer. False when the key
// or the value cannot be read or the value is longer than the buffer.
bool ReadSettingBytes(const char* name, char* buffer, DWORD size) {
  std::memset(buffer, 0, size);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  DWORD got = size;
  LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &got);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    std::memset(buffer, 0, size);
    return false;
  }
  return true;
}

// One-character value: the character, or 0 ("none") unless exactly one character was stored.
char ReadDigitSetting(const char* name) {
  char text[2];
  if (!ReadSettingBytes(name, text, sizeof text)) return 0;
  if (text[1] != '\0') return 0;
  return text[0];
}

// A one-character digit in 0..`highest`, or the default written back.
int ReadDigit(const char* name, int highest, int fallback) {
  char c = ReadDigitSetting(name);
  unsigned digit = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
  if (c != 0 && digit <= static_cast<unsigned>(highest)) return static_cast<int>(digit);
  char text[2] = {static_cast<char>('0' + fallback), '\0'};
  WriteStringSetting(name, text);
  return fallback;
}

void WriteDigit(const char* name, int value, int highest, int fallback) {
  if (value < 0 || value > highest) value = fallback;
  char text[2] = {static_cast<char>('0' + value), '\0'};
  WriteStringSetting(name, text);
}

bool IsEncodableMethod(int digit) { return digit == 0 || (digit >= 4 && digit <= 7); }

// Reads one of Explorer's binary values into 16 bytes; false unless it was read whole and holds at
// least `needed` bytes.
// Reads one of Explorer's binary values whole, whatever its length (Windows stores 36 bytes of
// "ShellState" and 12 or more of "Settings"). False when it is missing or shorter than `needed`.
bool ReadExplorerValue(HKEY key, const char* name, std::vector<BYTE>* value, DWORD* type,
                       DWORD needed) {
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS || size < needed ||
      size > 0x10000)
    return false;
  value->assign(size, 0);
  if (RegQueryValueExA(key, name, nullptr, type, value->data(), &size) != ERROR_SUCCESS)
    return false;
  value->resize(size);
  return size >= needed;
}

}  // namespace

int UseLongName() { return ReadDigit("UseLongName", 1, 1); }
void UseLongName(int value) { WriteDigit("UseLongName", value, 1, 1); }

int EncodeMethod() {
  char text[16];
  bool read = ReadSettingBytes("EncodeMethod", text, sizeof text);
  // "-lh" digit "-": only the methods the encoder can write count; any other digit would reach
  // compression as a method it cannot produce.
  if (read && text[0] == '-' && text[1] == 'l' && text[2] == 'h' && text[3] >= '0' &&
      text[3] <= '9' && text[4] == '-' && text[5] == '\0' && IsEncodableMethod(text[3] - '0'))
    return text[3] - '0';
  WriteStringSetting("EncodeMethod", "-lh5-");
  return 5;
}

void EncodeMethod(int digit) {
  if (!IsEncodableMethod(digit)) digit = 5;
  char text[6] = "-lh0-";
  text[3] = static_cast<char>(text[3] + digit);
  WriteStringSetting("EncodeMethod", text);
}

int HeaderLevel() { return ReadDigit("HeaderLevel", 3, 2); }
void HeaderLevel(int level) { WriteDigit("HeaderLevel", level, 3, 2); }

int DefaultView() { return ReadDigit("DefaultView", 4, 3); }
void DefaultView(int mode) { WriteDigit("DefaultView", mode, 4, 0); }

int AutoArrange() { return ReadDigit("AutoArrange", 1, 0); }
void AutoArrange(int value) { WriteDigit("AutoArrange", value, 1, 0); }

int DecodeImage() { return ReadDigit("DecodeImage", 1, 0); }
void DecodeImage(int value) { WriteDigit("DecodeImage", value, 1, 0); }

int DialogDelay() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    LONG status =
        RegQueryValueExA(key, "DialogDelay", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    int seconds = static_cast<int>(value);
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && seconds >= -1 &&
        seconds <= 30)
      return seconds;
  }
  DialogDelay(3);
  return 3;
}

void DialogDelay(int seconds) {
  if (seconds < -1 || seconds > 30) seconds = 3;
  HKEY key = OpenSettingsForWriting(KEY_READ | KEY_WRITE);
  if (!key) return;
  DWORD value = static_cast<DWORD>(seconds);
  RegSetValueExA(key, "DialogDelay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(key);
}

int NewWindowMode() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, CabinetStateKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  std::vector<BYTE> value;
  DWORD type = 0;
  bool read = ReadExplorerValue(key, "Settings", &value, &type, 5);
  RegCloseKey(key);
  return read && (value[4] & 0x20) ? 1 : 0;
}

void NewWindowMode(int on) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, CabinetStateKey, 0, KEY_READ | KEY_WRITE, &key) !=
      ERROR_SUCCESS)
    return;
  std::vector<BYTE> value;
  DWORD type = 0;
  // Only a value that was read whole is written back: the rest of it is Explorer's.
  if (ReadExplorerValue(key, "Settings", &value, &type, 5)) {
    if (on) value[4] = static_cast<BYTE>(value[4] | 0x20);
    else value[4] = static_cast<BYTE>(value[4] & ~0x20);
    RegSetValueExA(key, "Settings", 0, type, value.data(), static_cast<DWORD>(value.size()));
  }
  RegCloseKey(key);
}

int ShowExtensions() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ExplorerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  std::vector<BYTE> value;
  DWORD type = 0;
  bool read = ReadExplorerValue(key, "ShellState", &value, &type, 8);
  RegCloseKey(key);
  if (!read) return 0;
  DWORD flags = static_cast<DWORD>(value[4]) | (static_cast<DWORD>(value[5]) << 8) |
                (static_cast<DWORD>(value[6]) << 16) | (static_cast<DWORD>(value[7]) << 24);
  return (flags & 0x02) ? 1 : 0;
}
