// The commands every front end runs (the window, quillmark-cli, the server):
// Import, the lists, Separate, Compose and Print. Each returns true when it
// completed without showing a failure message.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/status.h"
#include "jobs/job_context.h"
#include "jobs/messages.h"
#include "settings/active_setting.h"

namespace qm {

// Import: one folder per stem under RipIn/CustomFiles/, an existing item
// folder matched without regard to letter case; a copy of an existing name
// (also in another letter case) is renamed "name (2).ext", "name (3).ext",
// ... Shows "Fail to import files!" per failed file, with the file and the
// reason as its cause.
struct ImportedFile {
  std::filesystem::path source;
  std::string item;            // the Image List entry (the item folder)
  std::filesystem::path copy;  // the file made in the item folder
};
struct FailedImport {
  std::filesystem::path source;
  std::string reason;
};
struct ImportReport {
  std::vector<ImportedFile> imported;  // in order
  std::vector<FailedImport> failed;
};
ImportReport ImportFilesReport(const std::vector<std::filesystem::path>& files, MessageSink& sink);
// The same; returns the item folder of each imported file, in order.
std::vector<std::string> ImportFiles(const std::vector<std::filesystem::path>& files,
                                     MessageSink& sink, bool* allOk = nullptr);


// The three lists of the main window.
std::vector<std::string> ImageList();  // RipIn/CustomFiles/*, batch folders left out

// The hidden folder beside a hot folder from which a tick prints the files
// that have settled: "." + item + ".batch". Never listed as an item.
std::string BatchItemName(const std::string& item);
std::vector<std::string> SeparationList(const std::string& item);  // RipIn/Separation/item/*.tif?
std::vector<std::string> PrnList();                            // RipIn/UserPrn/*.pr?

// The Separate command on an Image List item (already checked to exist):
// takes the job lock (refused: "Another job is using the working folder!"),
// separates every file of the item folder in listing order and files its
// planes under RipIn/Separation/item/; the first failing image shows "Fail
// to Separate !" and stops the job. Ends with the host's RefreshLists.
bool SeparateCommand(JobContext& ctx, const std::string& item);

// The per-image operation: stages `imagePath` in the Working folder,
// separates it (and, when `dithering`, halftones the slot files) and files
// its planes (FilePlanes). Without "Preserved" the image leaves its item
// folder only once its planes are filed (separation/staging.h). Returns the
// cause on failure; shows only "Something is wrong in Setting !".
Status SeparateImage(JobContext& ctx, const std::string& item, const std::filesystem::path& imagePath,
                     bool dithering);

// Moves the finished planes of `imagePath` ("00_*.tiff" when dithering, else
// "00_*.tif") from the Working folder to RipIn/Separation/item/ as
// <source stem>_<code>.tif(f); the cause when the folder cannot be made or a
// plane cannot be moved there.
Status FilePlanes(const std::string& item, const std::filesystem::path& imagePath, bool dithering);

// The four light-ink check boxes Compose packs by (a light slot is a channel
// when its box is checked or it holds a plane): the window passes its
// Setting dialog's boxes as they stand, other callers the applied preset's.
struct LightInkBoxes {
  bool lc = false, lm = false, lk = false, llk = false;
  static LightInkBoxes Of(const ActiveSetting& setting) {
    return {setting.UsesLightInk(0), setting.UsesLightInk(1), setting.UsesLightInk(2), setting.UsesLightInk(3)};
  }
};

// The Compose command on a Separation List entry of an Image List item.
bool ComposeCommand(JobContext& ctx, const std::string& item, const std::string& entry, const LightInkBoxes& boxes);

// The Print command: the Print job on every file of the item folder, in
// listing order; stops with "Fail to Print !" at the first failure. When a
// file's job failed (not the preset or the job lock), *failure names the
// file and the cause; its file is still in the item folder.
bool PrintCommand(JobContext& ctx, const std::string& item, FileFailure* failure = nullptr);

}  // namespace qm
