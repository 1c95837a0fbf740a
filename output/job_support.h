// What the Compose and Print jobs share:
// the slot files of the Working folder and the channel positions.
//
// Error policy: nothing here shows a message or throws; the jobs decide.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "halftone/levels.h"
#include "output/prn_format.h"
#include "separation/channels.h"
#include "platform/status.h"
#include "settings/active_setting.h"

namespace qm {

// Whether `name` is one of the Image List's items (a folder of CustomFiles).
bool IsImageListItem(const std::string& item);

// Bytes a job will write into a folder.
struct DiskNeed {
  std::filesystem::path folder;
  uint64_t bytes = 0;
};

// The least a print of width x height printer pixels writes: its PRN file
// with four channels (48 + H x 4 x R) into UserPrn, and `planePixels`
// pixels of four 8-bit planes into Working. A job that cannot have this
// room cannot end well, whatever its inks.
std::vector<DiskNeed> PrintDiskNeeds(uint64_t width, uint64_t height, int bits, uint64_t planePixels);

// Ok, or the cause for the first disk that lacks room ("needs 332 GB on
// /srv/rip/RipIn/UserPrn, 77 GB free"); needs on one file system are added.
Status CheckDiskRoom(const std::vector<DiskNeed>& needs);

// "332 GB", "1.4 GB", "80 MB".
std::string SizeText(uint64_t bytes);

}  // namespace qm
