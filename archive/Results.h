// Result codes of the engine's component-style operations. They carry the values of the shell's
// HRESULTs without including <windows.h>; the names differ from the system's macros on purpose.
#pragma once

#include <cstdint>

using ResultCode = std::int32_t;

constexpr ResultCode ResultOk = 0;                                              // S_OK
constexpr ResultCode ResultFalse = 1;                                           // S_FALSE
constexpr ResultCode ResultNoInterface = static_cast<ResultCode>(0x80004002u);  // E_NOINTERFACE
constexpr ResultCode ResultOutOfMemory = static_cast<ResultCode>(0x8007000Eu);  // E_OUTOFMEMORY
constexpr ResultCode ResultInvalidArg = static_cast<ResultCode>(0x80070057u);   // E_INVALIDARG
