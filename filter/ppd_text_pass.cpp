// Plain-text pass over a PPD file: keyword lines and "*%QZUIValue:" comment
// lines, read piece by piece into fixed buffers.
#include "ppd_text_pass.h"

#include "key_tables.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

static constexpr char kCommentMarker[] = "*%QZUIValue:";
static constexpr std::size_t kCommentMarkerLength = sizeof(kCommentMarker) - 1;
static constexpr std::size_t kFieldMax = kPpdFieldSize - 1;

// 'isLineEnd()' - CR, LF or the end of the piece.
bool isLineEnd(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// 'isBlank()' - Space or tab.
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// 'copyRun()' - Copy from src up to the stop character or line end, at most 255 chars.
void copyRun(const char *src, char stop, char *dst) {
  std::size_t n = 0;
  while (n < kFieldMax && !isLineEnd(src[n]) && src[n] != stop)
    ++n;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// 'readCommentKey()' - Key of "*%QZUIValue: key (value)"; where its value begins, or null.
const char *readCommentKey(const char *p, PpdPieceFields *f) {
  if (isLineEnd(*p))
    return nullptr;
  std::size_t n = 0;
  for (;;) {
    // A single blank and a single "*" are dropped wherever they stand.
    if (isBlank(*p))
      ++p;
    if (*p == '*')
      ++p;
    if (*p == '(')
      break;
    if (isLineEnd(*p) || n == kFieldMax) {
      f->key[0] = '\0';
      return nullptr;
    }
    f->key[n++] = *p++;
    if (isLineEnd(*p)) {
      f->key[0] = '\0';
      return nullptr;
    }
  }
  f->key[n] = '\0';
  return p + 1;
}

// 'readKeywordKey()' - Key of "*Key: "value"" and its looser variants; where its value begins.
const char *readKeywordKey(const char *p, PpdPieceFields *f) {
  std::size_t n = 0;
  for (;;) {
    if (*p == '*')
      ++p;
    if (isBlank(*p) || *p == ':' || isLineEnd(*p) || n == kFieldMax)
      break;
    f->key[n++] = *p++;
  }
  f->key[n] = '\0';

  while (isBlank(*p))
    ++p;
  if (*p == ':') {
    while (*p == ':')
      ++p;
    while (isBlank(*p))
      ++p;
  }
  while (*p == '"')
    ++p;
  return p;
}

// What ends a piece's value: ")" in the comment form, a quote in the keyword form.
struct PieceValue {
  const char *at; // first character of the value, or null when there is none
  char stop;
};

// 'readPieceKey()' - Read the key of a piece that begins with "*"; where its value is.
PieceValue readPieceKey(const char *piece, PpdPieceFields *fields) {
  fields->key[0] = '\0';
  fields->value[0] = '\0';
  if (piece[0] != '*')
    return {nullptr, '\0'};
  if (std::strncmp(piece, kCommentMarker, kCommentMarkerLength) == 0)
    return {readCommentKey(piece + kCommentMarkerLength, fields), ')'};
  return {readKeywordKey(piece + 1, fields), '"'};
}

} // namespace

// 'readPpdPiece()' - Read key and value from one piece; true when both are non-empty.
bool readPpdPiece(const char *piece, PpdPieceFields *fields) {
  PieceValue v = readPieceKey(piece, fields);
  if (v.at != nullptr)
    copyRun(v.at, v.stop, fields->value);
  return fields->key[0] != '\0' && fields->value[0] != '\0';
}

// 'admitPpdEntry()' - Append "key=value;" when the key is known and it fits; count it.
void admitPpdEntry(PpdTextPart *part, const char *key, const char *value) {
  if (!isPpdTextKey(key))
    return;
  std::size_t klen = std::strlen(key);
  std::size_t vlen = std::strlen(value);
  if (klen + part->length + vlen <= kPpdTextAdmitLimit) {
    char *out = part->text + part->length;
    std::memcpy(out, key, klen);
    out[klen] = '=';
    std::memcpy(out + klen + 1, value, vlen);
    out[klen + 1 + vlen] = ';';
    out[klen + 2 + vlen] = '\0';
    part->length += klen + vlen + 2;
  }
  ++part->matches;
}

namespace {

// Pieces are cut from large reads: a PPD of a megabyte takes 16 reads, not 256.
struct PieceReader {
  int fd = -1;
  std::size_t start = 0, end = 0; // unread bytes of block
  bool failed = false;            // a read failed: no further piece
  char block[65536];
};

// One reader for the process: its block stays off the stack and costs no guard.
PieceReader pieceReader;

// 'nextPiece()' - Cut the next piece as fgets would: up to and with a newline, at
// most kPpdPieceSize - 1 bytes, NUL-terminated; false at end or on a read error.
bool nextPiece(PieceReader *r, char *piece) {
  std::size_t n = 0;
  while (n < kPpdPieceSize - 1) {
    if (r->start == r->end) {
      ssize_t got;
      do
        got = read(r->fd, r->block, sizeof(r->block));
      while (got < 0 && errno == EINTR);
      if (got < 0)
        r->failed = true;
      if (got <= 0)
        break;
      r->start = 0;
      r->end = static_cast<std::size_t>(got);
    }
    std::size_t room = std::min(kPpdPieceSize - 1 - n, r->end - r->start);
    const char *from = r->block + r->start;
    const void *nl = std::memchr(from, '\n', room);
    std::size_t take = nl != nullptr ? static_cast<const char *>(nl) - from + 1 : room;
    std::memcpy(piece + n, from, take);
    n += take;
    r->start += take;
    if (nl != nullptr)
      break;
  }
  piece[n] = '\0';
  return n > 0 && !r->failed; // like fgets, a read error drops the piece
}

} // namespace

// 'readPpdTextFd()' - Read the open PPD file fd from its position as text into part.
void readPpdTextFd(int fd, PpdTextPart *part) {
  part->text[0] = '\0';
  part->length = 0;
  part->matches = 0;

  // Lines of 1023 characters or more arrive in pieces, each read as a line.
  PieceReader &reader = pieceReader;
  reader.fd = fd;
  reader.start = reader.end = 0;
  reader.failed = false;
  char piece[kPpdPieceSize];
  PpdPieceFields fields;
  while (nextPiece(&reader, piece)) {
    // The value is copied only for a known key: most lines of a large PPD
    // carry other keywords, and their values would be copied for nothing.
    PieceValue v = readPieceKey(piece, &fields);
    if (v.at == nullptr || !isPpdTextKey(fields.key))
      continue;
    copyRun(v.at, v.stop, fields.value);
    if (fields.value[0] != '\0')
      admitPpdEntry(part, fields.key, fields.value);
  }
}

// 'readPpdText()' - Read the PPD file as text into part; 0, or -1 if it cannot be opened.
int readPpdText(const char *path, PpdTextPart *part) {
  part->text[0] = '\0';
  part->length = 0;
  part->matches = 0;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return -1;
  readPpdTextFd(fd, part);
  close(fd);
  return 0;
}
