#pragma once

#include <cstdint>

#include "catalogue/context.h"

namespace kavo {

/// The per-user store of the main window's position: organisation "Marlun",
/// application "Kavo", text values "Top" and "Left" in twips.

/// Fills ctx.WindowTop and ctx.WindowLeft from the store. A value that is
/// missing or not a number leaves its field as it was.
void LoadWindowPosition(KavoContext& ctx);

/// Writes the main window's top and left edge (twips). Failures are ignored.
void SaveWindowPosition(int32_t top, int32_t left);

}  // namespace kavo
