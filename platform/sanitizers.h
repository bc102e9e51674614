// Whether this build runs under AddressSanitizer, for the caches of freed memory, which stay off
// there: a block handed out again would hide a use after free from it.
#pragma once

namespace quenlo::platform {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

}  // namespace quenlo::platform
