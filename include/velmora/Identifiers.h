// The fixed class and interface identifiers shared by the server, the registry and callers.
#pragma once

#include "velmora/Types.h"

namespace velmora {

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr GUID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A10}: the creatable database engine class.
inline constexpr GUID CLSID_VelmoraDatabase = {
    0x6B1E3F2A, 0x9C4D, 0x4E7B, {0xA5, 0xD1, 0x3F, 0x8C, 0x2B, 0x7E, 0x9A, 0x10}};
// {D47A2C91-5E3B-4F68-9B0C-7E1A4D2F6C35}: the component interface.
inline constexpr GUID IID_IVelmoraDatabase = {
    0xD47A2C91, 0x5E3B, 0x4F68, {0x9B, 0x0C, 0x7E, 0x1A, 0x4D, 0x2F, 0x6C, 0x35}};
// {F5C2D88D-A028-465D-9B63-E0F129D3FFD5}: the second component interface.
inline constexpr GUID IID_IVelmoraDatabase2 = {
    0xF5C2D88D, 0xA028, 0x465D, {0x9B, 0x63, 0xE0, 0xF1, 0x29, 0xD3, 0xFF, 0xD5}};

}  // namespace velmora
