#pragma once

// Marks the platform's public classes and functions: liblumoplatform is built with hidden
// visibility, so only what its installed headers declare reaches the SDK and the hosts. Always
// "default", also where the header is included: a consumer built with hidden visibility (the
// SDK itself) must still see these symbols as coming from another library.
#define LUMO_PLATFORM_EXPORT __attribute__((visibility("default")))
