// Plain-text pass over a PPD file: keyword lines and "*%QZUIValue:" comment
// lines, read piece by piece into fixed buffers.
#include "ppd_text_pass.h"

#include "key_tables.h"

#include <cstdio>
#include <cstring>

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

// 'readCommentForm()' - Key and value of "*%QZUIValue: key (value)".
void readCommentForm(const char *p, PpdPieceFields *f) {
  if (isLineEnd(*p))
    return;
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
      return;
    }
    f->key[n++] = *p++;
    if (isLineEnd(*p)) {
      f->key[0] = '\0';
      return;
    }
  }
  f->key[n] = '\0';
  copyRun(p + 1, ')', f->value);
}

// 'readKeywordForm()' - Key and value of "*Key: "value"" and its looser variants.
void readKeywordForm(const char *p, PpdPieceFields *f) {
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
  copyRun(p, '"', f->value);
}

} // namespace

// 'readPpdPiece()' - Read key and value from one piece; true when both are non-empty.
bool readPpdPiece(const char *piece, PpdPieceFields *fields) {
  fields->key[0] = '\0';
  fields->value[0] = '\0';
  if (piece[0] != '*')
    return false;
  if (std::strncmp(piece, kCommentMarker, kCommentMarkerLength) == 0)
    readCommentForm(piece + kCommentMarkerLength, fields);
  else
    readKeywordForm(piece + 1, fields);
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

// 'readPpdText()' - Read the PPD file as text into part; 0, or -1 if it cannot be opened.
int readPpdText(const char *path, PpdTextPart *part) {
  part->text[0] = '\0';
  part->length = 0;
  part->matches = 0;

  FILE *fp = std::fopen(path, "re");
  if (fp == nullptr)
    return -1;

  // Lines of 1023 characters or more arrive in pieces, each read as a line.
  char piece[kPpdPieceSize];
  PpdPieceFields fields;
  while (std::fgets(piece, sizeof(piece), fp) != nullptr) {
    if (readPpdPiece(piece, &fields))
      admitPpdEntry(part, fields.key, fields.value);
  }
  std::fclose(fp);
  return 0;
}
