/// @file
/// Scene 1's arrows, from the keyboard or from a joystick: the first attached
/// pad's left stick (axes 0 and 1) or its first hat holds an arrow when tilted
/// past half-way, and tilting it counts as one press. With no joystick the
/// arrows are exactly the arrow keys.
#pragma once

namespace cvx {

/// Reads the joystick once: call at the start of each update, before the
/// queries below, so that every query of one update sees the same stick.
void ReadStickArrows();

/// KeyIsDown(key), or the stick held that way (key is one of the arrow keys).
bool ArrowHeld(int key);

/// KeyPressCount(key), which takes the key's hits, plus one when the stick was
/// tilted that way since the previous ReadStickArrows.
int ArrowPressCount(int key);

}  // namespace cvx
