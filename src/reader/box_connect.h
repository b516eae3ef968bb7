#pragma once
// One connection attempt of a box, shared by the box manager (connecting every box) and the box
// worker (reconnecting a lost box).
namespace winorvex {

class COrvexBox;

// Connects the box's transport. A box without a transport or without a port fails silently; a
// failed attempt is logged as an alert (never a message box). Thread-safe as the transport is.
bool ConnectBox(COrvexBox& box);

}  // namespace winorvex
