#pragma once
// Client library of the simulator (our own): basic types. The simulator-link work extends this
// file with the operations, ids, constants and message structures.

#include <cstdint>

using HANDLE = void*;
using HRESULT = int32_t;
using DWORD = uint32_t;
