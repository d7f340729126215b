#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>


namespace kavo {

/// The per-user store of the main window's position: organisation "Marlun",
/// application "Kavo", text values "Top" and "Left" in twips.

/// The main window's top left edge, in twips.
struct WindowPosition {
    int32_t Top = 0;
    int32_t Left = 0;
};

/// The stored position. A value that is missing or not a number is taken from `fallback`.
WindowPosition LoadWindowPosition(WindowPosition fallback = {});

/// Writes the main window's position. Failures are ignored.
void SaveWindowPosition(WindowPosition position);

/// A text value kept in the same store under `group`; empty when there is none.
std::optional<std::string> LoadStoredText(const std::string& group, const std::string& name);

/// Writes text values under `group`. Failures are ignored.
void SaveStoredTexts(const std::string& group, const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace kavo
