// Files a test makes for itself: a temporary directory of its own, whole-file
// reads and writes, and job data that is not text.
#ifndef TOVEFILT_TESTS_SCRATCH_FILES_H
#define TOVEFILT_TESTS_SCRATCH_FILES_H

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

// A temporary directory of the test's own, removed with its files.
struct TempDir {
  std::string path;
  TempDir()
  {
    const char *base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tovefilt-test-XXXXXX";
    if (mkdtemp(tmpl.data()) != nullptr)
      path = tmpl;
  }
  ~TempDir()
  {
    if (DIR *d = opendir(path.c_str())) {
      while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
          unlink((path + "/" + e->d_name).c_str());
      closedir(d);
      rmdir(path.c_str());
    }
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string file(const std::string &name) const { return path + "/" + name; }
};

// 'readFile()' - The whole file as bytes; empty when missing.
inline std::string readFile(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// 'writeFile()' - Replace the file at path with the bytes.
inline void writeFile(const std::string &path, const std::string &bytes)
{
  std::ofstream(path, std::ios::binary) << bytes;
}

// 'binaryData()' - n bytes that are not text: every byte value, NULs included.
inline std::string binaryData(size_t n)
{
  std::string s(n, '\0');
  uint32_t x = 2463534242u;
  for (auto &c : s) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

#endif // TOVEFILT_TESTS_SCRATCH_FILES_H
