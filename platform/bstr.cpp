// Automation strings: the text is preceded by its length in bytes (32 bits) and followed by a
// zero unit, so a BSTR reads as a C string yet may carry zero units inside. Before the length,
// hidden from callers, the room the block has for text: a string rewritten for one text after
// another (SysReAllocStringLen) stays in its block while the texts fit.
#include <platform/oleauto.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "allocation_probe.h"
#include "small_blocks.h"

namespace {

using ByteLength = std::uint32_t;

constexpr std::size_t kPrefixSize = 2 * sizeof(ByteLength);  // the room, then the length
constexpr std::size_t kTerminatorSize = sizeof(OLECHAR);
// The byte length must fit the prefix, and the whole allocation (prefix, text, terminator)
// must fit 32 bits so that its size is computed without overflow on every target.
constexpr std::size_t kMaxUnits =
    (std::numeric_limits<ByteLength>::max() - kPrefixSize - kTerminatorSize) / sizeof(OLECHAR);
// A string keeps a block larger than its text only while the text fills half of it at least,
// so that a rewrite to a short text lets a large block go.
constexpr std::size_t kRoomAlwaysKept = quenlo::platform::small_blocks::kLargest;

char* AllocationOf(BSTR text) { return reinterpret_cast<char*>(text) - kPrefixSize; }

ByteLength Field(BSTR text, std::size_t offset) {
  ByteLength value;
  std::memcpy(&value, AllocationOf(text) + offset, sizeof value);
  return value;
}
ByteLength StoredByteLength(BSTR text) { return Field(text, sizeof(ByteLength)); }
ByteLength StoredRoom(BSTR text) { return Field(text, 0); }

std::size_t AllocationSize(std::size_t byteLength) {
  return kPrefixSize + byteLength + kTerminatorSize;
}

void SetLength(BSTR text, ByteLength byteLength) {
  std::memcpy(AllocationOf(text) + sizeof(ByteLength), &byteLength, sizeof byteLength);
  text[byteLength / sizeof(OLECHAR)] = 0;
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
  const std::size_t size = AllocationSize(byteLength);
  auto* allocation = static_cast<char*>(quenlo::platform::small_blocks::Take(size));
  if (allocation == nullptr) return nullptr;
  quenlo::platform::probe::NoteBstrs(1);
  // Rooms are even: blocks come in multiples of 16 bytes, and the rest is the text's own size.
  const auto room = static_cast<ByteLength>(quenlo::platform::small_blocks::Room(size) -
                                            kPrefixSize - kTerminatorSize);
  std::memcpy(allocation, &room, sizeof room);
  auto* result = reinterpret_cast<BSTR>(allocation + kPrefixSize);
  if (text != nullptr) std::memcpy(result, text, byteLength);
  SetLength(result, byteLength);
  return result;
}

INT SysReAllocStringLen(BSTR* text, const OLECHAR* source, UINT length) {
  if (text == nullptr || length > kMaxUnits) return 0;
  const auto byteLength = static_cast<ByteLength>(length * sizeof(OLECHAR));
  BSTR old = *text;
  if (old != nullptr) {
    const ByteLength room = StoredRoom(old);
    if (byteLength <= room && (room <= kRoomAlwaysKept || byteLength >= room / 2)) {
      if (source != nullptr) std::memmove(old, source, byteLength);
      SetLength(old, byteLength);
      return 1;
    }
  }
  BSTR made = SysAllocStringLen(nullptr, length);
  if (made == nullptr) return 0;
  if (old != nullptr && source == nullptr) source = old;
  if (source != nullptr) {
    const std::size_t kept = source == old ? std::min(length, SysStringLen(old)) : length;
    std::memcpy(made, source, kept * sizeof(OLECHAR));
  }
  SysFreeString(old);
  *text = made;
  return 1;
}

UINT SysStringLen(BSTR text) {
  return text == nullptr ? 0 : static_cast<UINT>(StoredByteLength(text) / sizeof(OLECHAR));
}

UINT SysStringByteLen(BSTR text) { return text == nullptr ? 0 : StoredByteLength(text); }

void SysFreeString(BSTR text) {
  if (text == nullptr) return;
  quenlo::platform::probe::NoteBstrs(-1);
  quenlo::platform::small_blocks::Give(AllocationOf(text), AllocationSize(StoredRoom(text)));
}

}  // extern "C"
