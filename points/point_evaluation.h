// The point evaluation: after a complete pass, the walk of the image block
// by block that hands every data point to the host's threshold services,
// with a running point number: the 13 environment values, then for each UPS
// block its battery voltage and 114 alarm states, then for each
// air-conditioner block its 40 alarm states.
#pragma once

#include "host/kpl_vdevice.h"
#include "points/block_names.h"
#include "points/image_layout.h"

struct ImageView {
  unsigned char* data;
  int size;
};

// `cursor` is the device's one position in the image, which the polling
// pass writes through: the evaluation sets it to the first item and walks it
// from block to block, since the host contract gives a device one cursor for
// both. The pass sets it back before writing again, so it does not matter
// where it ends.
// A block that does not lie wholly inside the image is skipped with the
// line "111 +++++++ outof buffer" (UPS) or "222 +++++++ outof buffer" (air
// conditioner).
void evaluate_points(KPLVDevice& host, ImageView image, const ImageLayout& layout,
                     const BlockNames& names, unsigned char*& cursor);
