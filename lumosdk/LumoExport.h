#pragma once

// Marks the SDK's public classes; everything else in liblumosdk stays hidden.
#if defined(LUMO_BUILDING_SDK)
#define LUMO_EXPORT __attribute__((visibility("default")))
#else
#define LUMO_EXPORT
#endif
