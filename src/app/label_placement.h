#pragma once
// Where the text prompt opens on the screen. Plain arithmetic on rectangles so that it can be
// tested without a display; the prompt's widget applies the result.
#include <optional>

namespace winorvex {

struct ScreenPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int Bottom() const { return y + height; }
};

struct LabelPlacement {
    std::optional<ScreenPoint> position;  // explicit position
    std::optional<ScreenRect> around;     // a rectangle to open next to (below, else above)
    bool centreOnScreen = false;          // wins over everything else
};

inline constexpr int kLabelGapPixels = 5;

// The prompt's top-left corner for a prompt of this size in this work area. `remembered` is the
// position the prompt had last time (none the first time); an explicit position replaces it.
ScreenPoint PlaceLabelPrompt(const LabelPlacement& placement, int width, int height, const ScreenRect& workArea,
                             std::optional<ScreenPoint>& remembered);

// The process-wide memory of the prompt's last position.
std::optional<ScreenPoint>& LastLabelPromptPosition();

}  // namespace winorvex
