// The one message a run shows when its payload cannot be opened.
#pragma once

#include "payload/format.h"

namespace korvelt {

// Shows the message for a payload failure: no owner, the system's default
// caption, OK and the error icon. Returns 1 without showing anything for
// `Ok`, else 0 once the box has been closed.
int ShowPayloadError(PayloadError code);

}  // namespace korvelt
