#include "app/label_placement.h"

namespace winorvex {

namespace {

ScreenPoint CentreOf(const ScreenRect& area, int width, int height) {
    return {area.x + (area.width - width) / 2, area.y + (area.height - height) / 2};
}

}  // namespace

ScreenPoint PlaceLabelPrompt(const LabelPlacement& placement, int width, int height, const ScreenRect& workArea,
                             std::optional<ScreenPoint>& remembered) {
    if (placement.centreOnScreen) return CentreOf(workArea, width, height);
    if (placement.position) {
        remembered = placement.position;
        return *placement.position;
    }
    if (placement.around) {
        const ScreenRect& rect = *placement.around;
        ScreenPoint point{rect.x + (rect.width - width) / 2, rect.Bottom() + kLabelGapPixels};
        if (point.y + height > workArea.Bottom()) point.y = rect.y - kLabelGapPixels - height;
        return point;
    }
    if (remembered) return *remembered;
    return CentreOf(workArea, width, height);
}

std::optional<ScreenPoint>& LastLabelPromptPosition() {
    static std::optional<ScreenPoint> position;
    return position;
}

}  // namespace winorvex
