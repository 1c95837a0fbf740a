#include <gtest/gtest.h>

#include "platform/platform.h"
#include "separation/commands.h"
#include "tests/separation/separation_test_support.h"

namespace qm::test {
namespace {

class ImportLists : public ::testing::Test {
 protected:
  void SetUp() override { SetAppDirOverride(app.path()); }
  ScratchAppDir app;
  TempDir src;
  RecordingSink sink;
};

TEST_F(ImportLists, OneFolderPerStemNamedWithoutTheLastExtension) {
  WriteFileBytes(src / "report.v2.pdf", "pdf");
  bool ok = false;
  EXPECT_EQ(ImportFiles({src / "report.v2.pdf"}, sink, &ok), std::vector<std::string>{"report.v2"});
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadFileBytes(app / "RipIn/CustomFiles/report.v2/report.v2.pdf"), "pdf");
  EXPECT_EQ(ImageList(), std::vector<std::string>{"report.v2"});
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ImportLists, ACopyOfAnExistingNameIsNumberedNotOverwritten) {
  WriteFileBytes(src / "photo.pdf", "first");
  ImportFiles({src / "photo.pdf"}, sink);
  WriteFileBytes(src / "photo.pdf", "second");
  ImportFiles({src / "photo.pdf"}, sink);
  WriteFileBytes(src / "photo.pdf", "third");
  ImportFiles({src / "photo.pdf"}, sink);
  WriteFileBytes(src / "photo.tif", "tif");
  ImportFiles({src / "photo.tif"}, sink);
  const fs::path dir = app / "RipIn/CustomFiles/photo";
  EXPECT_EQ(ReadFileBytes(dir / "photo.pdf"), "first");
  EXPECT_EQ(ReadFileBytes(dir / "photo (2).pdf"), "second");
  EXPECT_EQ(ReadFileBytes(dir / "photo (3).pdf"), "third");
  EXPECT_EQ(ReadFileBytes(dir / "photo.tif"), "tif");
  EXPECT_EQ(ImageList(), std::vector<std::string>{"photo"});
}

// An item folder is matched without regard to letter case, and so is a file
// name inside it; a hot folder's batch folder is never an item.
TEST_F(ImportLists, AnItemFolderIsMatchedWithoutRegardToCase) {
  WriteFileBytes(src / "photo.pdf", "first");
  ImportFiles({src / "photo.pdf"}, sink);
  WriteFileBytes(src / "Photo.PDF", "second");
  EXPECT_EQ(ImportFiles({src / "Photo.PDF"}, sink), std::vector<std::string>{"photo"});
  EXPECT_EQ(ReadFileBytes(app / "RipIn/CustomFiles/photo/Photo (2).PDF"), "second");
  fs::create_directories(app / "RipIn/CustomFiles/.hotfolder.batch");
  EXPECT_EQ(ImageList(), std::vector<std::string>{"photo"});
}

TEST_F(ImportLists, AFailedFileShowsItsMessageAndTheOthersAreImported) {
  WriteFileBytes(src / "a.jpg", "a");
  WriteFileBytes(src / "c.jpg", "c");
  bool ok = true;
  const auto stems = ImportFiles({src / "a.jpg", src / "missing.jpg", src / "c.jpg"}, sink, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(stems, (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(sink.messages, std::vector<std::string>{"Fail to import files!"});
  EXPECT_EQ(sink.causes, std::vector<std::string>{(src / "missing.jpg").string() + ": No such file or directory"});
}

TEST_F(ImportLists, NamesThatWouldLeaveCustomFilesAreRefused) {
  fs::create_directories(src / "sub");
  WriteFileBytes(src / ".pdf", "x");
  const auto stems = ImportFiles({src / "sub" / "..", src / ".pdf", src.path()}, sink);
  EXPECT_TRUE(stems.empty());
  EXPECT_EQ(sink.messages.size(), 3u);
  EXPECT_TRUE(ImageList().empty());
  EXPECT_TRUE(ListFolder(app / "RipIn/CustomFiles", "*", EntryKind::Files).empty());
}

TEST_F(ImportLists, SeparationListShowsTifAndTiffAndPrnListShowsPrn) {
  WriteFileBytes(app / "RipIn/Separation/photo/photo_0.tif", "");
  WriteFileBytes(app / "RipIn/Separation/photo/photo_0.tiff", "");
  WriteFileBytes(app / "RipIn/Separation/photo/notes.txt", "");
  WriteFileBytes(app / "RipIn/UserPrn/photo.prn", "");
  WriteFileBytes(app / "RipIn/UserPrn/.photo.prn.tmp", "");
  EXPECT_EQ(SeparationList("photo"), (std::vector<std::string>{"photo_0.tif", "photo_0.tiff"}));
  EXPECT_TRUE(SeparationList("absent").empty());
  EXPECT_TRUE(SeparationList("..").empty());
  EXPECT_EQ(PrnList(), std::vector<std::string>{"photo.prn"});
}

TEST_F(ImportLists, CliImportAndListsPrintTheJsonShape) {
  WriteFileBytes(src / "photo.pdf", "pdf");
  const ProcessResult imported = RunCli(app.path(), {"import", (src / "photo.pdf").string()});
  EXPECT_EQ(imported.exitStatus, 0) << imported.output;
  EXPECT_EQ(imported.output, "{\"imported\": [{\"file\": \"" + (src / "photo.pdf").string() + "\", \"item\": \"photo\", " +
                                 "\"copy\": \"" + (app / "RipIn/CustomFiles/photo/photo.pdf").string() +
                                 "\"}], \"failed\": []}\n");
  WriteFileBytes(app / "RipIn/Separation/photo/photo_0.tif", "");
  const ProcessResult lists = RunCli(app.path(), {"lists", "photo"});
  EXPECT_EQ(lists.exitStatus, 0);
  EXPECT_EQ(lists.output, "{\"imageList\": [\"photo\"], \"separationList\": [\"photo_0.tif\"], \"prnList\": []}\n");
  const ProcessResult failed = RunCli(app.path(), {"import", (src / "none.pdf").string()});
  EXPECT_EQ(failed.exitStatus, 1);
  const std::string none = (src / "none.pdf").string();
  EXPECT_EQ(failed.output, "Fail to import files!\n  " + none + ": No such file or directory\n" +
                               "{\"imported\": [], \"failed\": [{\"file\": \"" + none +
                               "\", \"reason\": \"No such file or directory\"}]}\n");
}

}  // namespace
}  // namespace qm::test
