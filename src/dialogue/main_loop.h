// The whole dialogue of one run: banner, menu, dimensions, then passes of
// one operation each until the user leaves the menu.
#pragma once

#include "dialogue/dialogue.h"

namespace trelvo {

/// Runs the dialogue until the user leaves it or input ends.
void runDialogue(Dialogue& d);

}  // namespace trelvo
