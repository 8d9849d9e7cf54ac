// Clears the registry keys the settings use before and after each test and reads them raw.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "namespace/Settings.h"

class RegistryFixture : public testing::Test {
 protected:
  static constexpr const char* CabinetKey =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CabinetState";
  static constexpr const char* ExplorerKey =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";

  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }

  static void Clear() {
    SHDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Bellfin");
    SHDeleteValueA(HKEY_CURRENT_USER, CabinetKey, "Settings");
    SHDeleteValueA(HKEY_CURRENT_USER, ExplorerKey, "ShellState");
  }

  static bool KeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  static void SetRaw(const char* path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }

  static std::vector<BYTE> Raw(const char* path, const char* name, DWORD* type) {
    HKEY key;
    std::vector<BYTE> data;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return data;
    BYTE buffer[256];
    DWORD size = sizeof buffer;
    DWORD kind = 0;
    if (RegQueryValueExA(key, name, nullptr, &kind, buffer, &size) == ERROR_SUCCESS)
      data.assign(buffer, buffer + size);
    RegCloseKey(key);
    if (type) *type = kind;
    return data;
  }

  static void SetString(const char* name, const char* text) {
    SetRaw(SettingsKey, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
  }
  static void SetDword(const char* name, DWORD value) {
    SetRaw(SettingsKey, name, REG_DWORD, &value, sizeof value);
  }
  // The stored text of a REG_SZ value; "<missing>" or "<type N>" otherwise.
  static std::string StringValue(const char* name) {
    DWORD type = 0;
    std::vector<BYTE> data = Raw(SettingsKey, name, &type);
    if (data.empty()) return "<missing>";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    return std::string(data.begin(), data.end()).c_str();
  }
  static DWORD DwordValue(const char* name) {
    DWORD type = 0;
    std::vector<BYTE> data = Raw(SettingsKey, name, &type);
    if (type != REG_DWORD || data.size() != 4) return 0xDEADBEEF;
    return data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
  }
  static DWORD ValueCount() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
  }
  static void SetCabinetState(const std::vector<BYTE>& bytes, DWORD type) {
    SetRaw(CabinetKey, "Settings", type, bytes.data(), static_cast<DWORD>(bytes.size()));
  }
  static std::vector<BYTE> CabinetState(DWORD* type) { return Raw(CabinetKey, "Settings", type); }
  static void SetShellState(const std::vector<BYTE>& bytes) {
    SetRaw(ExplorerKey, "ShellState", REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
  }
};
