#pragma once
// The connection state of a box as the operator sees it: a status picture per box with a tool tip
// made of the box label, a line break and the state text.
#include <string>

namespace winorvex {

class COrvexBox;

enum class BoxStatus {
    Undefined,     // no usable configuration
    NotConnected,  // configured, neither open nor reconnecting
    Reconnecting,  // a worker is trying to reconnect it
    Connected,     // the link is open
};

BoxStatus GetBoxStatus(const COrvexBox& box);
// "Box undefined", "Box not connected", "Reconnecting...", "Box connected" (current language).
const char* BoxStatusText(BoxStatus status);
// Box label + "\n" + state text.
std::string BoxStatusTip(const COrvexBox& box, BoxStatus status);

}  // namespace winorvex
