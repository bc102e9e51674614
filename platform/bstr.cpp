// Automation strings: the text is preceded by its length in bytes (32 bits) and followed by a
// zero unit, so a BSTR reads as a C string yet may carry zero units inside.
#include <platform/oleauto.h>

#include <cstring>
#include <limits>

#include "allocation_probe.h"
#include "small_blocks.h"

namespace {

using ByteLength = std::uint32_t;

constexpr std::size_t kPrefixSize = sizeof(ByteLength);
constexpr std::size_t kTerminatorSize = sizeof(OLECHAR);
// The byte length must fit the prefix, and the whole allocation (prefix, text, terminator)
// must fit 32 bits so that its size is computed without overflow on every target.
constexpr std::size_t kMaxUnits =
    (std::numeric_limits<ByteLength>::max() - kPrefixSize - kTerminatorSize) / sizeof(OLECHAR);

char* AllocationOf(BSTR text) { return reinterpret_cast<char*>(text) - kPrefixSize; }

ByteLength StoredByteLength(BSTR text) {
  ByteLength length;
  std::memcpy(&length, AllocationOf(text), sizeof length);
  return length;
}

std::size_t AllocationSize(std::size_t byteLength) {
  return kPrefixSize + byteLength + kTerminatorSize;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  if (length > kMaxUnits) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > kMaxUnits || !quenlo::platform::probe::AllocationMayProceed()) return nullptr;
  const auto byteLength = static_cast<ByteLength>(length * sizeof(OLECHAR));
  auto* allocation = static_cast<char*>(
      quenlo::platform::small_blocks::Take(AllocationSize(std::size_t{byteLength})));
  if (allocation == nullptr) return nullptr;
  quenlo::platform::probe::NoteBstrs(1);
  std::memcpy(allocation, &byteLength, sizeof byteLength);
  auto* result = reinterpret_cast<BSTR>(allocation + kPrefixSize);
  if (text != nullptr) std::memcpy(result, text, byteLength);
  result[length] = 0;
  return result;
}

UINT SysStringLen(BSTR text) {
  return text == nullptr ? 0 : static_cast<UINT>(StoredByteLength(text) / sizeof(OLECHAR));
}

UINT SysStringByteLen(BSTR text) { return text == nullptr ? 0 : StoredByteLength(text); }

void SysFreeString(BSTR text) {
  if (text == nullptr) return;
  quenlo::platform::probe::NoteBstrs(-1);
  quenlo::platform::small_blocks::Give(AllocationOf(text), AllocationSize(StoredByteLength(text)));
}

}  // extern "C"
