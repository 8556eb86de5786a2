// Whether the tests run under AddressSanitizer, whose allocator reports an
// exhausted address space itself rather than throwing std::bad_alloc, so
// memory limits are not tried under it.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif
