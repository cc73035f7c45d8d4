// Job parameter string look-ups and the page set-up reply built from them.
#include "job_params.h"

// 'jobParamValue()' - Find the last entry with this key; later entries override.
std::optional<std::string_view> jobParamValue(std::string_view params, std::string_view key)
{
  std::optional<std::string_view> found;
  while (!params.empty()) {
    size_t semi = params.find(';');
    std::string_view entry = params.substr(0, semi);
    size_t eq = entry.find('=');
    if (eq != std::string_view::npos && entry.substr(0, eq) == key)
      found = entry.substr(eq + 1);
    if (semi == std::string_view::npos)
      break;
    params.remove_prefix(semi + 1);
  }
  return found;
}

namespace {

// How one reply key is derived from the job parameters.
enum class Rule { Copy, CopyOr, ColorMode, Duplex };

struct ReplyKey {
  std::string_view key;
  std::string_view param;
  Rule rule;
  std::string_view fallback;
};

static constexpr ReplyKey kReplyKeys[] = {
    {"page_name", "PageSize", Rule::Copy, ""},
    {"page_orient", "Orientation", Rule::CopyOr, "portrait"},
    {"resolution", "Resolution", Rule::Copy, ""},
    {"color_mode", "QZColorMode", Rule::ColorMode, ""},
    {"media_type", "MediaType", Rule::Copy, ""},
    {"toner_save", "QZTonerSaving", Rule::Copy, ""},
    {"bind_edge", "BindEdge", Rule::Copy, ""},
    {"bind_edge_shift", "QZBindEdgeShift", Rule::Copy, ""},
    {"duplex", "Duplex", Rule::Duplex, ""},
};

// 'replyValue()' - Derive one key's value; nothing when it has no source.
std::optional<std::string_view> replyValue(const ReplyKey &k, std::string_view params)
{
  std::optional<std::string_view> v = jobParamValue(params, k.param);
  switch (k.rule) {
  case Rule::Copy: return v;
  case Rule::CopyOr: return v ? *v : k.fallback;
  case Rule::ColorMode: return (v && *v == "mono") ? "gray" : "color";
  case Rule::Duplex: return (!v || *v == "None" || *v == "False") ? "False" : "True";
  }
  return std::nullopt;
}

} // namespace

// 'pageAttrReply()' - Build "key=value;" pairs for command 17, closed by a NUL.
std::string pageAttrReply(std::string_view params)
{
  std::string out;
  for (const ReplyKey &k : kReplyKeys) {
    std::optional<std::string_view> v = replyValue(k, params);
    if (!v)
      continue;
    out.append(k.key).append("=").append(*v).append(";");
  }
  out += '\0';
  return out;
}
