#pragma once

// Marks the SDK's public classes; everything else in liblumosdk stays hidden. Always
// "default", also in a host's code: a host built with hidden visibility must still see these
// symbols as coming from the library.
#define LUMO_EXPORT __attribute__((visibility("default")))
