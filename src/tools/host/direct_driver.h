// The driver that holds clsTavirex in this process, on the platform services
// it is given: POSIX's tavirex-host, and the tests.
#pragma once

#include <memory>

#include "hostenv/platform.h"
#include "plugin/image_list_view.h"
#include "tools/host/driver.h"

namespace tavirex::host {

// Creates the object on `platform`, showing its image list on `view`; both
// outlive the driver.
std::unique_ptr<Driver> MakeDirectDriver(Platform& platform, ImageListView& view);

}  // namespace tavirex::host
