// Identifiers of the resources the Win32 code loads from its own module.
// Macros, because the resource compiler reads this file too.
#pragma once

// The image list window's icon (16, 32 and 48 pixels).
#define TAVIREX_IDI_IMAGE_LIST 101
