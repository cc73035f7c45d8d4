// Job parameter builder over real PostScript PPD files from Debian's HP
// packages: none carries our driver keys, so each alone gives no string; with
// a few driver keys appended each gives those entries and then exactly the
// choices libcups marks for the PPD's defaults.
#include "job_parameter.h"
#include "key_tables.h"
#include "scratch_files.h"

#include <cups/ppd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Appended to every PPD: keyword lines and a comment line with driver keys.
constexpr const char kDriverLines[] = "*QZTblFormat: \"PDL1\"\n"
                                      "*%QZUIValue: QZMaxCopies (999)\n"
                                      "*QZModelMethod: \"M2\"\n";
constexpr const char kDriverEntries[] = "QZTblFormat=PDL1;QZMaxCopies=999;QZModelMethod=M2;";

constexpr const char *kExtractor = TOVEFILT_SOURCE_DIR "/scripts/extract-real-ppds";

// How many PPDs to take: $TOVEFILT_REAL_PPDS, 0 for all; a sample by default.
int sampleSize()
{
  const char *env = getenv("TOVEFILT_REAL_PPDS");
  return env != nullptr ? static_cast<int>(strtol(env, nullptr, 10)) : 300;
}

// libcups 2.4 marks its PPD API deprecated; it is still the way to marked choices.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// 'markedEntries()' - The entries libcups gives for the PPD's default choices;
// false when libcups rejects the file.
bool markedEntries(const std::string &path, std::string *entries, bool *hasPageSize)
{
  ppd_file_t *ppd = ppdOpenFile(path.c_str());
  if (ppd == nullptr)
    return false;
  ppdMarkDefaults(ppd);
  for (const char *key : markedChoiceKeys()) {
    const ppd_choice_t *choice = ppdFindMarkedChoice(ppd, key);
    if (choice != nullptr)
      *entries += std::string(key) + "=" + choice->choice + ";";
    if (choice != nullptr && std::string(key) == "PageSize")
      *hasPageSize = true;
  }
  ppdClose(ppd);
  return true;
}

#pragma GCC diagnostic pop

class RealPpds : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    const char *tmp = getenv("TMPDIR");
    std::string tmpl =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tovefilt-real-ppds-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    dir_ = buf.data();
    const std::string count = std::to_string(sampleSize());
    const std::string cmd = std::string("python3 ") + kExtractor + " '" + dir_ + "/ppd' " + count;
    ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    DIR *d = opendir((dir_ + "/ppd").c_str());
    ASSERT_NE(d, nullptr);
    while (const dirent *e = readdir(d))
      if (e->d_name[0] != '.')
        files_.push_back(dir_ + "/ppd/" + e->d_name);
    closedir(d);
  }

  static void TearDownTestSuite()
  {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    unsetenv("PPD");
  }

  static std::string dir_;
  static std::vector<std::string> files_;
};

std::string RealPpds::dir_;
std::vector<std::string> RealPpds::files_;

TEST_F(RealPpds, WithoutDriverKeysGiveNoStringWithThemTheKeysAndTheMarkedChoices)
{
  // The packages hold a few hundred PPDs; a handful would mean a broken set-up.
  ASSERT_GE(files_.size(), sampleSize() > 0 ? static_cast<size_t>(sampleSize()) : 400u);
  const std::string keyed = dir_ + "/with-driver-keys.ppd";
  size_t rejected = 0;
  for (const std::string &file : files_) {
    SCOPED_TRACE(file);
    setenv("PPD", file.c_str(), 1);
    char *none = makeJobParameter(nullptr, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(none, nullptr);
    free(none);

    std::string text = readFile(file);
    if (!text.empty() && text.back() != '\n')
      text += '\n';
    std::ofstream(keyed, std::ios::binary) << text << kDriverLines;
    setenv("PPD", keyed.c_str(), 1);
    char *param = makeJobParameter(nullptr, 0, nullptr, nullptr, nullptr);
    std::string marked;
    bool hasPageSize = false;
    if (!markedEntries(keyed, &marked, &hasPageSize)) {
      EXPECT_EQ(param, nullptr); // libcups rejects a few as they are
      rejected++;
    } else {
      ASSERT_NE(param, nullptr);
      EXPECT_EQ(param, kDriverEntries + marked);
      EXPECT_TRUE(hasPageSize); // every one of them offers page sizes
    }
    free(param);
  }
  printf("%zu of %zu PPDs rejected by libcups\n", rejected, files_.size());
  EXPECT_LT(rejected, files_.size() / 10); // the builder must face real, valid files
}

} // namespace
