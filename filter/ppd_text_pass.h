// Plain-text pass over a PPD file for the driver keys that libcups does not
// expose: keyword lines and "*%QZUIValue:" comment lines.
#ifndef TOVEFILT_PPD_TEXT_PASS_H
#define TOVEFILT_PPD_TEXT_PASS_H

#include <cstddef>

// Fixed working storage: the pass allocates nothing of its own.
inline constexpr std::size_t kPpdPieceSize = 1024; // line pieces of up to 1023 chars
inline constexpr std::size_t kPpdFieldSize = 256;  // key or value: 255 chars + NUL
inline constexpr std::size_t kPpdTextSize = 4096;  // admitted entries: 4094 chars + NUL
inline constexpr std::size_t kPpdTextAdmitLimit = 4092; // key + part + value at most this

// Entries admitted from the PPD text, and how many pieces carried a known key.
struct PpdTextPart {
  char text[kPpdTextSize]; // "key=value;" entries in file order, NUL-terminated
  std::size_t length;      // characters in text
  int matches;             // pieces whose key is a PPD text key, admitted or not
};

// Key and value read from one piece.
struct PpdPieceFields {
  char key[kPpdFieldSize];
  char value[kPpdFieldSize];
};

// Reads key and value from a piece that begins with "*"; true when both are non-empty.
bool readPpdPiece(const char *piece, PpdPieceFields *fields);

// Admits a key and value into the part when the key is a PPD text key.
void admitPpdEntry(PpdTextPart *part, const char *key, const char *value);

// Reads the PPD file at path as text into part; 0, or -1 when it cannot be opened.
int readPpdText(const char *path, PpdTextPart *part);

// Reads the open PPD file fd, from its position, as text into part.
void readPpdTextFd(int fd, PpdTextPart *part);

#endif // TOVEFILT_PPD_TEXT_PASS_H
