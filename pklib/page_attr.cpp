// Page attribute query: the page set-up of a job, as the module reports it
// or, without a module, as the context's attribute list implies it.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include <strings.h>

#include "qzpk.h"
#include "qzpk_internal.h"

namespace {

constexpr size_t kFieldSize = sizeof(PageAttr::page_name);
constexpr int32_t kDefaultMaxGutter = 30;

using PageField = char (PageAttr::*)[kFieldSize];

struct ReplyKey {
  std::string_view name;
  PageField field;
};

// The keys a module's reply may name, compared with exact case.
static constexpr ReplyKey kReplyKeys[] = {
    {"page_name", &PageAttr::page_name},
    {"page_orient", &PageAttr::page_orient},
    {"resolution", &PageAttr::resolution},
    {"color_mode", &PageAttr::color_mode},
    {"media_type", &PageAttr::media_type},
    {"toner_save", &PageAttr::toner_save},
    {"bind_edge", &PageAttr::bind_edge},
    {"bind_edge_shift", &PageAttr::bind_edge_shift},
    {"duplex", &PageAttr::duplex},
};

struct FreeText {
  void operator()(char *text) const { free(text); }
};
using AttrText = std::unique_ptr<char, FreeText>;

struct FreeBytes {
  void operator()(unsigned char *bytes) const { free(bytes); }
};
using Payload = std::unique_ptr<unsigned char, FreeBytes>;

// 'findReplyKey()' - Field named by a reply key (exact case), or null.
const ReplyKey *			// O - Row of the key, or null
findReplyKey(std::string_view name)	// I - Key as the reply spells it
{
  for (const ReplyKey &row : kReplyKeys)
    if (row.name == name)
      return &row;
  return nullptr;
}

// 'setField()' - Copy at most 63 characters into a field, NUL-filling the rest.
void setField(char (&field)[kFieldSize],	// O - Field to fill
              std::string_view text)		// I - Text to copy
{
  size_t n = std::min(text.size(), kFieldSize - 1);
  memcpy(field, text.data(), n);
  memset(field + n, 0, kFieldSize - n);
}

// 'skipSpace()' - Position of the first non-white-space byte at or after pos.
size_t					// O - Position after the blanks
skipSpace(std::string_view text,	// I - Text
          size_t pos)			// I - Where to start
{
  while (pos < text.size() && isspace(static_cast<unsigned char>(text[pos])))
    pos++;
  return pos;
}

// 'readInt()' - Read a decimal number as strtol does, held to 32 bits.
//
// Saturating rather than truncating keeps a huge shift or gutter from
// wrapping round into a small or negative one.
int32_t readInt(const char *text)	// I - Text to read
{
  long value = strtol(text, nullptr, 10);
  return static_cast<int32_t>(
      std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

// 'lookup()' - The value of a recorded attribute (any letter case), or null.
AttrText lookup(const OutputContext *ctx,	// I - Context
                const char *name)		// I - Attribute name
{
  return AttrText(attrGet(ctx->attrs, name, nullptr));
}

// 'setFromAttr()' - Fill a field from an attribute, or from a default.
void setFromAttr(const OutputContext *ctx,	// I - Context
                 char (&field)[kFieldSize],	// O - Field to fill
                 const char *name,		// I - Attribute name
                 const char *fallback)		// I - Text when it is missing
{
  AttrText value = lookup(ctx, name);
  setField(field, value ? value.get() : fallback);
}

// 'isManualOrAuto()' - Whether an input slot lets the media type through.
bool isManualOrAuto(const char *slot)	// I - Input slot value
{
  return strcasecmp(slot, "Auto") == 0 || strcasecmp(slot, "Manual") == 0;
}

// 'setMediaType()' - Media type, only for models that take it and fitting slots.
void setMediaType(const OutputContext *ctx,	// I - Context
                  PageAttr *attr,		// O - Record
                  int32_t method)		// I - QZModelMethod bits
{
  if ((method & 1) == 0)
    return;
  AttrText media = lookup(ctx, "MediaType");
  AttrText slot = lookup(ctx, "InputSlot");
  if (media && slot && isManualOrAuto(slot.get()))
    setField(attr->media_type, media.get());
}

// 'setTonerSave()' - Toner saving, only for models that take it.
void setTonerSave(const OutputContext *ctx,	// I - Context
                  PageAttr *attr,		// O - Record
                  int32_t method)		// I - QZModelMethod bits
{
  if ((method & 2) == 0)
    return;
  AttrText toner = lookup(ctx, "QZTonerSaving");
  if (toner)
    setField(attr->toner_save, toner.get());
}

// 'setBindEdgeShift()' - Binding edge shift, held to 0 ... the maximum gutter.
void setBindEdgeShift(const OutputContext *ctx,	// I - Context
                      PageAttr *attr)		// O - Record
{
  AttrText gutter = lookup(ctx, "QZMaxGutter");
  int32_t maxShift = gutter ? readInt(gutter.get()) : kDefaultMaxGutter;
  AttrText shift = lookup(ctx, "QZBindEdgeShift");
  if (!shift) {
    setField(attr->bind_edge_shift, "0");
    return;
  }
  int32_t value = readInt(shift.get());
  if (value < 0) {
    setField(attr->bind_edge_shift, "0");
  } else if (value > maxShift) {
    char text[16];
    snprintf(text, sizeof text, "%d", maxShift);
    setField(attr->bind_edge_shift, text);
  } else {
    setField(attr->bind_edge_shift, shift.get());
  }
}

// 'pageAttrFromList()' - Derive the whole page set-up from the attribute list.
int					// O - 0, or -1 for a null record
pageAttrFromList(const OutputContext *ctx,	// I - Pass-through context
                 PageAttr *attr)		// O - Record, cleared first
{
  if (!attr)
    return -1;
  memset(attr, 0, sizeof *attr);

  AttrText methodText = lookup(ctx, "QZModelMethod");
  int32_t method = methodText ? readInt(methodText.get()) : 0;

  setFromAttr(ctx, attr->page_name, "PageSize", "A4");
  setFromAttr(ctx, attr->resolution, "Resolution", "600");
  setFromAttr(ctx, attr->page_orient, "Orientation", "portrait");

  AttrText color = lookup(ctx, "QZColorMode");
  setField(attr->color_mode,
           !color || strcmp(color.get(), "mono") == 0 ? "gray" : "color");

  setMediaType(ctx, attr, method);
  setTonerSave(ctx, attr, method);
  setFromAttr(ctx, attr->bind_edge, "BindEdge", "Left");
  setBindEdgeShift(ctx, attr);

  AttrText duplex = lookup(ctx, "Duplex");
  bool simplex = !duplex || strcmp(duplex.get(), "False") == 0 ||
                 strcmp(duplex.get(), "None") == 0;
  setField(attr->duplex, simplex ? "False" : "True");
  return 0;
}

// 'pageAttrFromModule()' - Ask the module (command 17) and copy its reply.
int					// O - Module's result, or -1
pageAttrFromModule(OutputContext *ctx,	// I - Module-mode context
                   PageAttr *attr)	// O - Record, not cleared
{
  // Refused before anything is sent, so no exchange is left half done.
  if (!attr)
    return -1;
  if (qzprocWriteCommand(ctx->fds, CMD_GET_PAGE_ATTR, nullptr, 0) != 0)
    return -1;

  int length = 0;
  unsigned char *raw = nullptr;
  int result = qzprocReadResponse(ctx->fds, CMD_GET_PAGE_ATTR, &length, &raw);
  Payload payload(raw);
  if (result == 0)
    qzpkParsePageReply(payload.get(), length, attr);
  return result;
}

} // namespace

// 'qzpkParsePageReply()' - Copy the known pairs of a command-17 reply into a record.
//
// Only the first len bytes are read, and only up to the first NUL. A pair
// is taken when its value is closed by ";" or by the NUL; a tail cut off by
// the end of the payload (no NUL) or ending inside a key is ignored.
void
qzpkParsePageReply(const unsigned char *payload,	// I - Reply payload
                   int len,				// I - Its length in bytes
                   PageAttr *attr)			// IO - Record to update
{
  if (!payload || len <= 0 || !attr)
    return;
  const char *chars = reinterpret_cast<const char *>(payload);
  std::string_view text(chars, strnlen(chars, static_cast<size_t>(len)));
  bool closedByNul = text.size() < static_cast<size_t>(len);

  size_t pos = 0;
  while (pos < text.size()) {
    pos = skipSpace(text, pos);
    size_t eq = text.find('=', pos);
    if (eq == std::string_view::npos)
      return;
    size_t start = skipSpace(text, eq + 1);
    size_t semi = text.find(';', start);
    if (semi == std::string_view::npos && !closedByNul)
      return;
    size_t end = semi == std::string_view::npos ? text.size() : semi;
    if (const ReplyKey *key = findReplyKey(text.substr(pos, eq - pos)))
      setField(attr->*(key->field), text.substr(start, end - start));
    pos = end + 1;
  }
}

// 'qzpkGetPageAttr()' - Fill a record with the page set-up of a context's job.
int					// O - 0 or a failure/result code
qzpkGetPageAttr(OutputContext *ctx,	// I - Live context
                PageAttr *attr)		// O - Caller's record
{
  if (!ctx)
    return -1;
  if (ctx->mode == 1)
    return pageAttrFromModule(ctx, attr);
  return pageAttrFromList(ctx, attr);
}
