#include "platform/MessageText.h"

#include "platform/ComRuntime.h"

namespace velmora {

namespace {

struct MessageRow {
  HRESULT code;
  const char* text;
};

// Codes beyond those named in Types.h that the runtime or a server may hand back.
constexpr HRESULT kAbort = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT kInvalidHandle = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT kModuleNotFound = static_cast<HRESULT>(0x8007007Eu);
constexpr HRESULT kProcedureNotFound = static_cast<HRESULT>(0x8007007Fu);

constexpr MessageRow kMessages[] = {
    {E_UNEXPECTED, "Catastrophic failure"},                         // 0x8000FFFF
    {E_NOTIMPL, "Not implemented"},                                 // 0x80004001
    {E_NOINTERFACE, "No such interface supported"},                 // 0x80004002
    {E_POINTER, "Invalid pointer"},                                 // 0x80004003
    {kAbort, "Operation aborted"},                                  // 0x80004004
    {E_FAIL, "Unspecified error"},                                  // 0x80004005
    {kFileNotFound, "The system cannot find the file specified."},  // 0x80070002
    {E_ACCESSDENIED, "Access is denied."},                          // 0x80070005
    {kInvalidHandle, "The handle is invalid."},                     // 0x80070006
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},                        // 0x80070057
    {kModuleNotFound, "The specified module could not be found."},        // 0x8007007E
    {kProcedureNotFound, "The specified procedure could not be found."},  // 0x8007007F
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},  // 0x80040111
    {REGDB_E_READREGDB, "Could not read key from registry"},                    // 0x80040150
    {REGDB_E_CLASSNOTREG, "Class not registered"},                              // 0x80040154
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},                 // 0x800401F0
    {CO_E_DLLNOTFOUND, "DLL for class not found"},                              // 0x800401F8
    {CO_E_ERRORINDLL, "Error in the DLL"},                                      // 0x800401F9
};

}  // namespace

std::string messageText(HRESULT code) {
  for (const MessageRow& row : kMessages) {
    if (row.code == code) return row.text;
  }
  return "";
}

}  // namespace velmora
