#include "separation/staging.h"

#include <algorithm>
#include <fstream>
#include <string_view>
#include <system_error>

#include "platform/platform.h"

namespace qm {

namespace {

// A PDF ends with "%%EOF", which readers look for in its last 1024 bytes.
// Without it the file was cut short or is still being written, and
// Ghostscript would repair it into part of a page without failing.
bool PdfEnds(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0) return false;
  const std::streamoff tail = std::min<std::streamoff>(size, 1024);
  std::string bytes(static_cast<std::size_t>(tail), '\0');
  in.seekg(size - tail);
  in.read(bytes.data(), tail);
  return in && bytes.find("%%EOF") != std::string::npos;
}

// What the first bytes of a file say it is: "pdf", "ps", "jpeg", "tiff" or
// another format's name; empty when they are of no format known here.
std::string ContentFormat(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string head(1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  auto starts = [&](std::string_view magic) { return head.compare(0, magic.size(), magic) == 0; };
  if (starts("\xFF\xD8\xFF")) return "jpeg";
  if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4)) ||
      starts(std::string_view("II+\0", 4)) || starts(std::string_view("MM\0+", 4))) {
    return "tiff";
  }
  if (starts("\x89PNG")) return "png";
  if (starts("GIF8")) return "gif";
  if (starts("BM")) return "bmp";
  if (starts("PK\x03\x04")) return "zip";
  if (starts("%!")) return "ps";
  if (head.find("%PDF-") != std::string::npos) return "pdf";  // readers allow bytes before the header
  return {};
}

// "a JPEG image", "a PDF", ... for a message.
std::string Described(const std::string& format) {
  if (format == "jpeg") return "a JPEG image";
  if (format == "tiff") return "a TIFF image";
  if (format == "pdf") return "a PDF";
  if (format == "png") return "a PNG image";
  if (format == "gif") return "a GIF image";
  if (format == "bmp") return "a BMP image";
  if (format == "zip") return "a ZIP archive";
  return "a PostScript file";
}

// Why the content of `source` is not the format its extension names, or
// empty. A PDF may also be PostScript (Ghostscript reads both); content of
// no known format is left to the reader of its extension.
std::string WrongFormat(const fs::path& source, const std::string& extension) {
  const std::string format = ContentFormat(source);
  if (format.empty()) return {};
  std::string wanted;
  if (extension == "pdf") {
    if (format == "pdf" || format == "ps") return {};
    wanted = "pdf";
  } else if (extension == "tif" || extension == "tiff") {
    if (format == "tiff") return {};
    wanted = "tiff";
  } else if (extension == "jpg" || extension == "jpeg") {
    if (format == "jpeg") return {};
    wanted = "jpeg";
  } else {
    return {};
  }
  return source.filename().string() + " is " + Described(format) + ", not " + Described(wanted);
}

}  // namespace

StatusOr<StagedInput> StagedInput::Stage(const fs::path& source, const fs::path& staged, bool preserve) {
  std::error_code ec;
  // A link is never followed: its target may be any file of the machine.
  if (fs::is_symlink(fs::symlink_status(source, ec))) {
    return Status::Fail(source.filename().string() + " is not printed: a symbolic link");
  }
  if (!fs::is_regular_file(source, ec)) {
    return Status::Fail("cannot stage " + source.string() + ": it is no file");
  }
  if (const std::string wrong = WrongFormat(source, ExtensionLower(staged.filename().string())); !wrong.empty()) {
    return Status::Fail(wrong);
  }
  fs::remove(staged, ec);
  fs::create_hard_link(source, staged, ec);
  if (ec && !CopyFileOver(source, staged)) {
    return Status::Fail("cannot stage " + source.string() + " in " + staged.parent_path().string());
  }
  if (ExtensionLower(staged.filename().string()) == "pdf" && !PdfEnds(staged)) {
    return Status::Fail(source.filename().string() + " is cut short: no %%EOF in its last 1024 bytes");
  }
  return StagedInput(source, preserve);
}

void StagedInput::Commit() {
  if (!preserve_) DeleteFile(source_);
}

}  // namespace qm
