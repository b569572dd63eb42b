// The image of a stored file as DCMTK's converter takes it: a JPEG as it is
// (its structure checked, not decoded), a PNG or BMP decoded to 8-bit grey or
// RGB pixels. The pixel count is checked from the header before anything is
// decoded, so that the memory an image takes is bounded by the limit.
#pragma once

#include <memory>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/libi2d/i2dimgs.h"
#include "forwarder/store.h"

namespace tavirex::dicom {

// Reads the image in the open regular file from its start; throws Refused
// for a file that is not a JPEG, PNG or BMP the archive can take, or that has
// more pixels than max_megapixels million.
std::unique_ptr<I2DImgSource> ReadImage(const Fd& fd, int max_megapixels);

}  // namespace tavirex::dicom
