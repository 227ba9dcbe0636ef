// A connection string's nested secret through every command that shows or writes settings: it is
// hidden everywhere without --show-secrets.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings/ov_settings.h"
#include "tests/support/cli_fixture.h"
#include "tests/support/xml_writer.h"
#include "xml/xml_document.h"

namespace recaster::cli {
namespace {

TEST_F(Cli, ANestedSecretShowsInNoOutput) {
  settings::COVSettings doc;
  doc.ExportToDb.ExporterToDb.ConnString.SetValue(u"Provider=P;Extended Properties=\"PWD=SEK92\"");
  xml::XmlNode root(u"RIZavoza");
  doc.Save(root);
  const std::string source = Path("nested.cfg");
  ASSERT_TRUE(testing::WriteBytesToFile(source, testing::WriteXmlFile(root)));

  const std::vector<std::vector<std::string>> commands = {
      {"show", source},
      {"report", source},
      {"report", "--html", source},
      {"report", "--format", "json", source},
      {"convert", "--force", source, Path("single.json")},
      {"convert", "-o", Path("out"), source},
  };
  for (const std::vector<std::string>& args : commands) {
    const Outcome run = Recaster(args);
    EXPECT_EQ(run.code, kExitOk) << args[0] << " " << args[1] << "\n" << run.err;
    EXPECT_EQ(run.out.find("SEK92"), std::string::npos) << args[0] << " " << args[1] << "\n" << run.out;
    EXPECT_EQ(run.err.find("SEK92"), std::string::npos) << args[0] << " " << args[1] << "\n" << run.err;
  }
  EXPECT_NE(Recaster({"convert", "--force", source, Path("notes.json")}).err.find("PWD=********"), std::string::npos);

  std::vector<fs::path> written = {folder_ / "single.json"};
  for (const auto& entry : fs::recursive_directory_iterator(folder_ / "out")) written.push_back(entry.path());
  EXPECT_GE(written.size(), 2u);
  for (const fs::path& file : written) {
    EXPECT_EQ(ReadFile(file).find("SEK92"), std::string::npos) << file;
  }
  EXPECT_NE(Recaster({"show", "--show-secrets", source}).out.find("SEK92"), std::string::npos);
}

}  // namespace
}  // namespace recaster::cli
