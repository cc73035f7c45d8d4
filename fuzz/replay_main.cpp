// Replays corpus files through a fuzz target without libFuzzer: each file
// named, or each regular file in a directory named, is one input.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// 'readFile()' - Read a whole file; false when it cannot be read.
bool readFile(const std::string &path, std::vector<uint8_t> *bytes)
{
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr)
    return false;
  bytes->clear();
  uint8_t block[4096];
  size_t n;
  while ((n = fread(block, 1, sizeof(block), f)) > 0)
    bytes->insert(bytes->end(), block, block + n);
  bool ok = ferror(f) == 0;
  fclose(f);
  return ok;
}

// 'collect()' - Add a file, or the regular files of a directory, to the list.
void collect(const std::string &path, std::vector<std::string> *files)
{
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr)
      return;
    while (const dirent *entry = readdir(dir)) {
      std::string child = path + "/" + entry->d_name;
      if (stat(child.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        files->push_back(child);
    }
    closedir(dir);
  } else {
    files->push_back(path);
  }
}

} // namespace

// 'main()' - Feed every corpus file to the target; fail when none could be read.
int main(int argc, char **argv)
{
  std::vector<std::string> files;
  for (int i = 1; i < argc; i++)
    collect(argv[i], &files);
  std::vector<uint8_t> bytes;
  int replayed = 0;
  for (const std::string &file : files) {
    if (!readFile(file, &bytes)) {
      fprintf(stderr, "replay: cannot read %s\n", file.c_str());
      return 1;
    }
    fprintf(stderr, "replay: %s\n", file.c_str());
    static const uint8_t kEmpty = 0; // libFuzzer never hands out a null pointer either
    LLVMFuzzerTestOneInput(bytes.empty() ? &kEmpty : bytes.data(), bytes.size());
    replayed++;
  }
  printf("replayed %d inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
